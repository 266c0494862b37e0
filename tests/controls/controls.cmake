kelvalog_test(test_picturemask SOURCES ${CMAKE_CURRENT_LIST_DIR}/picturemask_test.cpp
              LIBS kelvalog_controls)
kelvalog_test(test_numericfield QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/numericfield_test.cpp
              LIBS kelvalog_controls)
kelvalog_test(test_controls QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/controls_test.cpp
              LIBS kelvalog_controls)
kelvalog_test(test_controls_gallery QT SOURCES ${CMAKE_CURRENT_LIST_DIR}/gallery_test.cpp
              LIBS kelvalog_controls)
