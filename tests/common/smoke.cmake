kelvalog_test(test_smoke SOURCES ${CMAKE_CURRENT_LIST_DIR}/smoke_test.cpp LIBS kelvalog_common)
