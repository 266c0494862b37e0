# The program as a child process: its command line without a display, and its
# settings file when run as a normal user from an installed and from a
# writable folder (needs root for the user; skipped otherwise). The child is
# the program built with the test-close seam, which closes its window shortly
# after it is shown.
if(TARGET kelvalog)
  add_executable(kelvalog_selfclosing ${PROJECT_SOURCE_DIR}/src/app/main.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/testclose.cpp)
  target_link_libraries(kelvalog_selfclosing PRIVATE kelvalog_app)
  target_compile_definitions(kelvalog_selfclosing PRIVATE KELVALOG_VERSION="${PROJECT_VERSION}")
  if(TARGET kelvalog_calc)
    target_link_libraries(kelvalog_selfclosing PRIVATE kelvalog_calc)
  endif()
  kelvalog_test(test_app_installed QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/installed_test.cpp
                ${CMAKE_CURRENT_LIST_DIR}/appfixture.h LIBS kelvalog_app)
  target_compile_definitions(test_app_installed PRIVATE
                             KELVALOG_EXE="$<TARGET_FILE:kelvalog_selfclosing>"
                             KELVALOG_VERSION="${PROJECT_VERSION}")
  add_dependencies(test_app_installed kelvalog_selfclosing)
endif()
