kelvalog_test(test_settings_location SOURCES ${CMAKE_CURRENT_LIST_DIR}/settingslocation_test.cpp
              LIBS kelvalog_inistore)
