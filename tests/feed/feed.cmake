# The feeds against a real broker and a real database on loopback, started by
# the test itself; it skips with a message when their programs are missing.
kelvalog_test(test_feed_servers OWN_MAIN SOURCES ${CMAKE_CURRENT_LIST_DIR}/feedservers_test.cpp
              LIBS kelvalog_feed THREADED TIMEOUT 300)
