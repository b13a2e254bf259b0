# The blocking one-request exchange; its exchanges with a server are tested by tallyctl's tests.
tally_add_test(core_syncexchange SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_syncexchange.cpp
               LIBS tally_core tally_testsupport GTEST)
