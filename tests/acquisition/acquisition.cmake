kelvalog_test(test_decoder SOURCES ${CMAKE_CURRENT_LIST_DIR}/decoder_test.cpp
              LIBS kelvalog_acquisition)
kelvalog_test(test_channeltable SOURCES ${CMAKE_CURRENT_LIST_DIR}/channeltable_test.cpp
              LIBS kelvalog_acquisition)
kelvalog_test(test_filter SOURCES ${CMAKE_CURRENT_LIST_DIR}/filter_test.cpp
              LIBS kelvalog_acquisition)
