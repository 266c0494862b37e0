# Stop signals to a child program, and a board unplugged while on line.
kelvalog_test(test_app_stopsignals QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/stopsignals_test.cpp
              ${CMAKE_CURRENT_LIST_DIR}/appfixture.h ${CMAKE_CURRENT_LIST_DIR}/ptyboard.h
              LIBS kelvalog_app)
kelvalog_test(test_app_unplug QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/unplug_test.cpp
              ${CMAKE_CURRENT_LIST_DIR}/appfixture.h ${CMAKE_CURRENT_LIST_DIR}/ptyboard.h
              LIBS kelvalog_app THREADED)
