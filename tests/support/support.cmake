# Shared fixtures of the client's tests: loopback test server, scripted prompt, fixed clock,
# temporary settings folder, recording exchange sink.
tally_add_library(tally_testsupport
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/zem_testhelpers.cpp ${CMAKE_CURRENT_LIST_DIR}/zem_testhelpers.h
    ${CMAKE_CURRENT_LIST_DIR}/zem_scriptedprompt.cpp ${CMAKE_CURRENT_LIST_DIR}/zem_scriptedprompt.h
    ${CMAKE_CURRENT_LIST_DIR}/zem_testserver.cpp ${CMAKE_CURRENT_LIST_DIR}/zem_testserver.h
    ${CMAKE_CURRENT_LIST_DIR}/zem_devserver.cpp ${CMAKE_CURRENT_LIST_DIR}/zem_devserver.h
  LIBS tally_core Qt6::Network GTest::gtest)
