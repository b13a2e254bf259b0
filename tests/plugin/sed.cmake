# Tests of the sed engine and of qsed.
tally_add_test(sed_engine GTEST SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/SedEngineTest.cpp LIBS sedobj)
tally_add_test(sed_matcher GTEST SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/SedMatcherTest.cpp LIBS sedobj)
tally_add_test(sed_alloc GTEST SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/SedAllocTest.cpp LIBS sedobj)
if(TARGET qsed)
  add_test(NAME sed_qsed COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/qsed_test.sh $<TARGET_FILE:qsed>)
endif()
