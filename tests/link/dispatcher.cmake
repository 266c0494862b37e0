kelvalog_test(test_link_device SOURCES ${CMAKE_CURRENT_LIST_DIR}/device_posix_test.cpp
              LIBS kelvalog_link)
kelvalog_test(test_dispatcher_scripted SOURCES ${CMAKE_CURRENT_LIST_DIR}/dispatcher_fake_test.cpp
              ${CMAKE_CURRENT_LIST_DIR}/scriptedserialdevice.cpp
              LIBS kelvalog_link THREADED)
kelvalog_test(test_dispatcher_pty SOURCES ${CMAKE_CURRENT_LIST_DIR}/dispatcher_pty_test.cpp
              LIBS kelvalog_link THREADED)
kelvalog_test(test_bridge_gui SOURCES ${CMAKE_CURRENT_LIST_DIR}/bridge_gui_test.cpp
              LIBS kelvalog_link_ui THREADED OWN_MAIN)
kelvalog_test(test_link_backlog SOURCES ${CMAKE_CURRENT_LIST_DIR}/backlog_test.cpp
              LIBS kelvalog_link THREADED)
