# Shared build settings and test helpers.

add_compile_options(-Wall -Wextra -Wshadow)

# CI turns warnings into errors. Every target made after this line takes it;
# third-party headers come in as system headers (imported targets, the UNO
# headers) and stay warnings, and the moc output of each library and test is
# exempt below (kelvalog_moc_warnings).
option(KELVALOG_WERROR "Treat compiler warnings in Kelvalog's own code as errors" OFF)
if(KELVALOG_WERROR)
  set(CMAKE_COMPILE_WARNING_AS_ERROR ON)
endif()

# kelvalog_moc_warnings(<target>)
# Code that moc generates is not ours to fix: its warnings stay warnings.
function(kelvalog_moc_warnings name)
  if(KELVALOG_WERROR)
    set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/mocs_compilation.cpp
                                PROPERTIES COMPILE_OPTIONS -Wno-error)
  endif()
endfunction()

if(KELVALOG_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(KELVALOG_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT KELVALOG_SANITIZE STREQUAL "none")
  message(FATAL_ERROR "KELVALOG_SANITIZE must be none, address or thread")
endif()

# kelvalog_library(<name> [QT] SOURCES <files>... [DEPS <targets>...])
# A static library from the listed sources (relative to the calling folder).
# QT runs moc over it; without QT it is plain C++ and moc stays off.
function(kelvalog_library name)
  cmake_parse_arguments(ARG "QT" "" "SOURCES;DEPS" ${ARGN})
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "kelvalog_library(${name}) lists no SOURCES")
  endif()
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    kelvalog_moc_warnings(${name})
  else()
    set_target_properties(${name} PROPERTIES AUTOMOC OFF)
  endif()
endfunction()

# kelvalog_test(<name> SOURCES ... [LIBS ...] [THREADED] [QT] [OWN_MAIN] [TIMEOUT s])
# GoogleTest (default; OWN_MAIN when the test brings its own main(), e.g. to
# create a QApplication first) or Qt Test (QT) executables registered with
# CTest. In a
# ThreadSanitizer build only THREADED tests are built, so that build stays
# small; every other build registers all of them.
function(kelvalog_test name)
  cmake_parse_arguments(ARG "THREADED;QT;OWN_MAIN" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(KELVALOG_SANITIZE STREQUAL "thread" AND NOT ARG_THREADED)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  kelvalog_moc_warnings(${name})
  if(ARG_QT)
    target_link_libraries(${name} PRIVATE Qt6::Test Qt6::Widgets)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    add_test(NAME ${name} COMMAND ${name})
  elseif(ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock)
    add_test(NAME ${name} COMMAND ${name})
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main)
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set(labels "")
  if(ARG_THREADED)
    list(APPEND labels threaded)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${ARG_TIMEOUT}
    LABELS "${labels}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KELVALOG_TEST_OUTPUT=${CMAKE_BINARY_DIR}/test-output")
endfunction()

if(KELVALOG_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The fuzz build needs clang (-DCMAKE_CXX_COMPILER=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

