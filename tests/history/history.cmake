kelvalog_test(test_history_store SOURCES ${CMAKE_CURRENT_LIST_DIR}/historystore_test.cpp
              LIBS kelvalog_history)
kelvalog_test(test_history_writer SOURCES ${CMAKE_CURRENT_LIST_DIR}/historywriter_test.cpp
              LIBS kelvalog_history THREADED)
