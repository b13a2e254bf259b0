tally_add_test(core_singleinstance SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_singleinstance.cpp
               LIBS tally_core tally_testsupport GTEST)
