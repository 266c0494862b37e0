kelvalog_test(test_numbertext SOURCES ${CMAKE_CURRENT_LIST_DIR}/numbertext_test.cpp
              ${CMAKE_CURRENT_LIST_DIR}/numbertext_datetime_test.cpp LIBS kelvalog_common)
