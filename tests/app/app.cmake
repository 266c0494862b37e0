kelvalog_test(test_app_delaytimer SOURCES ${CMAKE_CURRENT_LIST_DIR}/delaytimer_test.cpp
              LIBS kelvalog_app)
kelvalog_test(test_app_mainform QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/mainform_test.cpp
              ${CMAKE_CURRENT_LIST_DIR}/appfixture.h LIBS kelvalog_app)
kelvalog_test(test_app_online QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/online_test.cpp
              ${CMAKE_CURRENT_LIST_DIR}/appfixture.h ${CMAKE_CURRENT_LIST_DIR}/ptyboard.h
              LIBS kelvalog_app THREADED)
# The whole program against the board simulator; the simulator is not built
# in the ThreadSanitizer build, and neither is this test.
if(NOT KELVALOG_SANITIZE STREQUAL "thread" AND EXISTS ${PROJECT_SOURCE_DIR}/tools/boardsim/CMakeLists.txt)
  kelvalog_test(test_app_endtoend QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/endtoend_test.cpp
                ${CMAKE_CURRENT_LIST_DIR}/appfixture.h LIBS kelvalog_app)
  target_compile_definitions(test_app_endtoend PRIVATE
                             KELVALOG_BOARDSIM="$<TARGET_FILE:kelvalog-boardsim>")
  add_dependencies(test_app_endtoend kelvalog-boardsim)
endif()
kelvalog_test(test_app_framepacer QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/framepacer_test.cpp
              LIBS kelvalog_app)
kelvalog_test(test_app_overload QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/overload_test.cpp
              ${CMAKE_CURRENT_LIST_DIR}/appfixture.h ${CMAKE_CURRENT_LIST_DIR}/ptyboard.h
              LIBS kelvalog_app THREADED)
# The window on real serial drivers, run inside a virtual machine by
# scripts/realserial.sh rather than by CTest.
if(NOT KELVALOG_SANITIZE STREQUAL "thread")
  add_executable(realserial_guest ${CMAKE_CURRENT_LIST_DIR}/realserial_guest.cpp)
  target_link_libraries(realserial_guest PRIVATE kelvalog_app Qt6::Widgets)
endif()
# Not a test: writes the window's widgets, places and focus chain, to compare
# the layout of two builds with diff.
if(NOT KELVALOG_SANITIZE STREQUAL "thread")
  add_executable(layoutdump ${CMAKE_CURRENT_LIST_DIR}/layoutdump.cpp)
  target_link_libraries(layoutdump PRIVATE kelvalog_app Qt6::Widgets)
endif()
