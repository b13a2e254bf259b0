# Bill Periods in the main window against the development server on a free loopback port.
if(TARGET tallyway-devserver)
  tally_add_test(main_billperiods GTEST GUI TIMEOUT 120
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_billperiodsaction.cpp
    LIBS tally_main tally_testsupport Qt6::Test)
  tally_uses_devserver(main_billperiods)
  tally_font_test(main_billperiods)
endif()
