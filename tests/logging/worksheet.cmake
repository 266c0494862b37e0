kelvalog_test(automation_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/automation_test.cpp
  LIBS kelvalog_logging)
kelvalog_test(worksheet_writer_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/worksheet_writer_test.cpp
  LIBS kelvalog_logging)
# Runs a real office; skipped (with a message) when built without its SDK.
kelvalog_test(calc_worksheet_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/calc_worksheet_test.cpp
  LIBS kelvalog_calc kelvalog_logging
  TIMEOUT 240)
if(TARGET calc_worksheet_test AND KELVALOG_SANITIZE STREQUAL "address")
  # Reads the sheet through UNO bridge proxies (see src/logging/calc).
  target_compile_options(calc_worksheet_test PRIVATE -fno-sanitize=vptr)
  set_property(TEST calc_worksheet_test APPEND PROPERTY ENVIRONMENT
    "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/calc_lsan.supp:print_suppressions=0")
endif()
if(TARGET calc_worksheet_test)
  # Nobody looks at these sheets: the office runs without a window.
  set_property(TEST calc_worksheet_test APPEND PROPERTY ENVIRONMENT
    "KELVALOG_TEST_HEADLESS_OFFICE=1")
endif()
kelvalog_test(worksheet_control_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/worksheet_control_test.cpp
  LIBS kelvalog_logging)
