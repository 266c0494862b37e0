kelvalog_test(test_link_framer SOURCES ${CMAKE_CURRENT_LIST_DIR}/framer_test.cpp
              LIBS kelvalog_link THREADED OWN_MAIN)
kelvalog_test(test_link_port SOURCES ${CMAKE_CURRENT_LIST_DIR}/port_test.cpp
              LIBS kelvalog_link THREADED OWN_MAIN)
