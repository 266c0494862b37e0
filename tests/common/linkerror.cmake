kelvalog_test(test_link_errors SOURCES ${CMAKE_CURRENT_LIST_DIR}/linkerror_test.cpp
              LIBS kelvalog_common)
