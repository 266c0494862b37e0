# The program as a child process: its command line without a display, and its
# settings file when run as a normal user from an installed and from a
# writable folder (needs root for the user; skipped otherwise).
if(TARGET kelvalog)
  kelvalog_test(test_app_installed QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/installed_test.cpp
                ${CMAKE_CURRENT_LIST_DIR}/appfixture.h LIBS kelvalog_app)
  target_compile_definitions(test_app_installed PRIVATE
                             KELVALOG_EXE="$<TARGET_FILE:kelvalog>"
                             KELVALOG_VERSION="${PROJECT_VERSION}")
  add_dependencies(test_app_installed kelvalog)
endif()
