# The simulator's line generator, checked against the real decoder.
kelvalog_test(test_tools_boardsim
              SOURCES ${CMAKE_CURRENT_LIST_DIR}/boardsim_test.cpp
                      ${PROJECT_SOURCE_DIR}/tools/boardsim/boardlines.cpp
              LIBS kelvalog_acquisition)
if(TARGET test_tools_boardsim)
  target_include_directories(test_tools_boardsim PRIVATE ${PROJECT_SOURCE_DIR}/tools/boardsim)
endif()
