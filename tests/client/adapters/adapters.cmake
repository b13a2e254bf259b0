tally_add_test(adapters_treenode GTEST
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_treenode.cpp
  LIBS tally_adapters)
