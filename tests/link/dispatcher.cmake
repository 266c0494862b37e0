kelvalog_test(test_link_errors SOURCES ${CMAKE_CURRENT_LIST_DIR}/dispatcher_errors_test.cpp
              LIBS kelvalog_common)
kelvalog_test(test_link_device SOURCES ${CMAKE_CURRENT_LIST_DIR}/device_posix_test.cpp
              LIBS kelvalog_link)
kelvalog_test(test_dispatcher_scripted SOURCES ${CMAKE_CURRENT_LIST_DIR}/dispatcher_fake_test.cpp
              LIBS kelvalog_link THREADED)
