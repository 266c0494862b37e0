# The worksheet log's visible office under Xvfb: the program, the board
# simulator and a real LibreOffice Calc. Not in the ThreadSanitizer build.
if(NOT KELVALOG_SANITIZE STREQUAL "thread" AND EXISTS ${PROJECT_SOURCE_DIR}/tools/boardsim/CMakeLists.txt)
  add_executable(test_app_worksheetwindow ${CMAKE_CURRENT_LIST_DIR}/worksheetwindow_test.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/appfixture.h)
  target_link_libraries(test_app_worksheetwindow PRIVATE kelvalog_app kelvalog_calc Qt6::Test
                        Qt6::Widgets GTest::gtest)
  set_target_properties(test_app_worksheetwindow PROPERTIES AUTOMOC ON)
  target_compile_definitions(test_app_worksheetwindow PRIVATE
                             KELVALOG_BOARDSIM="$<TARGET_FILE:kelvalog-boardsim>")
  add_dependencies(test_app_worksheetwindow kelvalog-boardsim)
  find_program(KELVALOG_XVFB_RUN xvfb-run)
  if(KELVALOG_XVFB_RUN)
    add_test(NAME test_app_worksheetwindow
             COMMAND ${KELVALOG_XVFB_RUN} -a -s "-screen 0 1600x900x24"
                     $<TARGET_FILE:test_app_worksheetwindow>)
  else()
    # Skips itself without a display.
    add_test(NAME test_app_worksheetwindow COMMAND test_app_worksheetwindow)
  endif()
  set(worksheet_window_environment "KELVALOG_TEST_OUTPUT=${CMAKE_BINARY_DIR}/test-output")
  if(KELVALOG_SANITIZE STREQUAL "address")
    # Reads the sheet through UNO bridge proxies (see src/logging/calc).
    target_compile_options(test_app_worksheetwindow PRIVATE -fno-sanitize=vptr)
    list(APPEND worksheet_window_environment
         "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/worksheetwindow_lsan.supp:print_suppressions=0")
  endif()
  set_tests_properties(test_app_worksheetwindow PROPERTIES
    TIMEOUT 300
    ENVIRONMENT "${worksheet_window_environment}")
endif()
kelvalog_test(test_app_officebusy SOURCES ${CMAKE_CURRENT_LIST_DIR}/officebusy_test.cpp
              LIBS kelvalog_app Qt6::Widgets Qt6::Test OWN_MAIN THREADED)
