tally_add_test(log_debuglogform GUI SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_debuglogform.cpp
               LIBS tally_log_ui Qt6::Test)
