kelvalog_test(test_logwriters SOURCES ${CMAKE_CURRENT_LIST_DIR}/logwriters_test.cpp
              LIBS kelvalog_logging)
kelvalog_test(test_logcontrol SOURCES ${CMAKE_CURRENT_LIST_DIR}/logcontrol_test.cpp
              LIBS kelvalog_logging)
kelvalog_test(test_log_fulldisk SOURCES ${CMAKE_CURRENT_LIST_DIR}/fulldisk_test.cpp
              LIBS kelvalog_logging)
