# The operations on one adapter: the bill-period exchange and the follow-up flags of the flows.
if(TARGET tallyway-devserver)
  tally_add_test(adapters_operations GTEST
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_adapteroperations.cpp
    LIBS tally_adapters tally_testsupport)
  tally_uses_devserver(adapters_operations)
endif()
