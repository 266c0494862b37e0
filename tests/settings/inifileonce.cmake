kelvalog_test(test_settings_inifile_once SOURCES ${CMAKE_CURRENT_LIST_DIR}/inifile_once_test.cpp
              LIBS kelvalog_inistore)
