# Tests of the sed engine and of qsed.
tally_add_test(sed_engine GTEST SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/SedEngineTest.cpp LIBS sedobj)
tally_add_test(sed_matcher GTEST SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/SedMatcherTest.cpp LIBS sedobj)
tally_add_test(sed_alloc GTEST SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/SedAllocTest.cpp LIBS sedobj)
if(TARGET qsed)
  add_test(NAME sed_qsed COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/qsed_test.sh $<TARGET_FILE:qsed>)
  # A short seeded run of the differential test against the system's sed (fuzz/sed-differential
  # runs thousands of cases).
  if(EXISTS /bin/sed)
    find_package(Python3 COMPONENTS Interpreter)
    if(Python3_Interpreter_FOUND)
      add_test(NAME sed_differential
               COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/fuzz/sed-differential --qsed $<TARGET_FILE:qsed>
                       --sed /bin/sed --cases 30 --seed 1 --quiet)
    endif()
  endif()
endif()
