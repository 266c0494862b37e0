# The trend window through the main window, fed with the board simulator's
# lines; its picture goes to the test-output folder.
kelvalog_test(test_trend_window QT
              SOURCES ${CMAKE_CURRENT_LIST_DIR}/trendwindow_test.cpp ${CMAKE_CURRENT_LIST_DIR}/plotpoints.h
                      ${PROJECT_SOURCE_DIR}/tools/boardsim/boardlines.cpp
              LIBS kelvalog_app)
if(TARGET test_trend_window)
  target_include_directories(test_trend_window PRIVATE ${PROJECT_SOURCE_DIR}/tools/boardsim
                                                       ${PROJECT_SOURCE_DIR}/tests/app)
endif()
