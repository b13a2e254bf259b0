tally_add_test(adapters_treenode GTEST
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_treenode.cpp
  LIBS tally_adapters)
tally_add_test(adapters_list GTEST
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_adapterlist.cpp
  LIBS tally_adapters tally_testsupport)
