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
kelvalog_test(worksheet_control_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/worksheet_control_test.cpp
  LIBS kelvalog_logging)
