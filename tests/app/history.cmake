# The history on disk with the whole window: a killed program, a full disk
# under the store, and the command-line export against the logs.
if(NOT KELVALOG_SANITIZE STREQUAL "thread")
  kelvalog_test(test_app_history QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/history_test.cpp
                ${CMAKE_CURRENT_LIST_DIR}/appfixture.h ${CMAKE_CURRENT_LIST_DIR}/ptyboard.h
                LIBS kelvalog_app kelvalog_history TIMEOUT 600)
  target_compile_definitions(test_app_history PRIVATE
                             KELVALOG_PROGRAM="$<TARGET_FILE:kelvalog>")
  add_dependencies(test_app_history kelvalog)
endif()
