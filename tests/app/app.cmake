kelvalog_test(test_app_delaytimer SOURCES ${CMAKE_CURRENT_LIST_DIR}/delaytimer_test.cpp
              LIBS kelvalog_app)
