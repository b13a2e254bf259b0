# The bill-period model and its arithmetic.
tally_add_test(billing_periods GTEST
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_billperiods.cpp
  LIBS tally_billing tally_testsupport)
