kelvalog_test(test_trendstore SOURCES ${CMAKE_CURRENT_LIST_DIR}/trendstore_test.cpp
              LIBS kelvalog_acquisition)
