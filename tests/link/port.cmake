kelvalog_test(test_link_framer SOURCES ${CMAKE_CURRENT_LIST_DIR}/framer_test.cpp
              LIBS kelvalog_link_ui THREADED OWN_MAIN)
kelvalog_test(test_link_port SOURCES ${CMAKE_CURRENT_LIST_DIR}/port_test.cpp
              LIBS kelvalog_link_ui THREADED OWN_MAIN)
kelvalog_test(test_link_lights SOURCES ${CMAKE_CURRENT_LIST_DIR}/light_test.cpp
              ${CMAKE_CURRENT_LIST_DIR}/scriptedserialdevice.cpp
              LIBS kelvalog_link_ui THREADED OWN_MAIN)
kelvalog_test(test_link_portdialog SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialog_test.cpp
              LIBS kelvalog_link_ui Qt6::Test OWN_MAIN)
# Part of the dialog test runs as the unprivileged test user (scripts/test.sh).
if(TEST test_link_portdialog)
  set_property(TEST test_link_portdialog APPEND PROPERTY LABELS unprivileged)
endif()
