kelvalog_test(test_app_delaytimer SOURCES ${CMAKE_CURRENT_LIST_DIR}/delaytimer_test.cpp
              LIBS kelvalog_app)
kelvalog_test(test_app_mainform QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/mainform_test.cpp
              ${CMAKE_CURRENT_LIST_DIR}/appfixture.h LIBS kelvalog_app)
kelvalog_test(test_app_online QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/online_test.cpp
              ${CMAKE_CURRENT_LIST_DIR}/appfixture.h ${CMAKE_CURRENT_LIST_DIR}/ptyboard.h
              LIBS kelvalog_app)
