# The operations on one adapter: the bill-period exchange and the follow-up flags of the flows.
if(TARGET tallyway-devserver)
  tally_add_test(adapters_operations GTEST
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_adapteroperations.cpp
    LIBS tally_adapters tally_testsupport)
  target_compile_definitions(adapters_operations PRIVATE TALLY_DEVSERVER="$<TARGET_FILE:tallyway-devserver>")
  add_dependencies(adapters_operations tallyway-devserver)
endif()
