# Tests of the sed engine and of qsed.
tally_add_test(sed_engine GTEST SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/SedEngineTest.cpp LIBS sedobj)
tally_add_test(sed_matcher GTEST SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/SedMatcherTest.cpp LIBS sedobj)
