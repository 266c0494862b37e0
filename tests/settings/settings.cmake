kelvalog_test(test_settings_inifilestore SOURCES ${CMAKE_CURRENT_LIST_DIR}/inifilestore_test.cpp
              LIBS kelvalog_inistore)
kelvalog_test(test_settings_formstate SOURCES ${CMAKE_CURRENT_LIST_DIR}/formstate_test.cpp
              LIBS kelvalog_settings QT)
