# Tests of the development server. The client's query builder and XML reader (tally_core) build the
# requests and read the replies, so these tests also check that both sides agree.
if(TARGET tally_devserver)
  add_library(devserver_harness STATIC
    ${CMAKE_CURRENT_LIST_DIR}/devserver_harness.cpp ${CMAKE_CURRENT_LIST_DIR}/devserver_harness.h)
  target_include_directories(devserver_harness PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(devserver_harness PUBLIC tally_devserver tally_core tally_testsupport GTest::gtest)
  tally_warnings(devserver_harness)

  tally_add_test(devserver_parsing GTEST SOURCES ${CMAKE_CURRENT_LIST_DIR}/devserver_parsing_test.cpp
                 LIBS tally_devserver)
  tally_add_test(devserver_replies GTEST SOURCES ${CMAKE_CURRENT_LIST_DIR}/devserver_replies_test.cpp
                 LIBS devserver_harness)
  tally_add_test(devserver_faults GTEST SOURCES ${CMAKE_CURRENT_LIST_DIR}/devserver_faults_test.cpp
                 LIBS devserver_harness)
  tally_add_test(devserver_program GTEST SOURCES ${CMAKE_CURRENT_LIST_DIR}/devserver_program_test.cpp
                 LIBS devserver_harness)
  add_dependencies(devserver_program tallyway-devserver)
  target_compile_definitions(devserver_program PRIVATE
    TALLY_DEVSERVER_PATH="$<TARGET_FILE:tallyway-devserver>"
    TALLY_DEVSERVER_FIXTURE="${CMAKE_SOURCE_DIR}/devserver/adapters-example.json")
endif()

# In a sanitizer build the runtime needs descriptors of its own (its memory probes and symbolizer
# open pipes) and intercepts accept, so a server that has run out of descriptors does not behave as
# it does in use: the runtime cannot check it and the accept errors it sees differ. That one case
# runs in the plain build only.
tally_sanitizer_env(devserver_program
                    "GTEST_FILTER=-DevserverProgram.OutOfDescriptorsBacksOffAndServesAgainWhenOneFrees")
