# The window under real locales: one run per locale, each in a process with
# LC_ALL and LANG set (scripts/test.sh makes the locales available).
if(NOT KELVALOG_SANITIZE STREQUAL "thread" AND EXISTS ${PROJECT_SOURCE_DIR}/tools/boardsim/CMakeLists.txt)
  kelvalog_test(test_app_locale QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/locale_test.cpp
                ${CMAKE_CURRENT_LIST_DIR}/appfixture.h ${CMAKE_CURRENT_LIST_DIR}/ptyboard.h
                LIBS kelvalog_app)
  target_compile_definitions(test_app_locale PRIVATE
                             KELVALOG_BOARDSIM="$<TARGET_FILE:kelvalog-boardsim>")
  add_dependencies(test_app_locale kelvalog-boardsim)
  foreach(_locale de_DE nl_NL en_US)
    set(_test test_app_locale_${_locale})
    add_test(NAME ${_test} COMMAND test_app_locale)
    set_tests_properties(${_test} PROPERTIES
      TIMEOUT 300
      LABELS locale
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KELVALOG_TEST_OUTPUT=${CMAKE_BINARY_DIR}/test-output;LC_ALL=${_locale}.UTF-8;LANG=${_locale}.UTF-8")
  endforeach()
  # The executable's own entry would only repeat the machine's locale.
  set_tests_properties(test_app_locale PROPERTIES DISABLED TRUE)
endif()
