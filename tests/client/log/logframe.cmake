tally_add_test(logframe_stringbuffer GTEST
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_stringbuffer.cpp
  LIBS tally_log)
