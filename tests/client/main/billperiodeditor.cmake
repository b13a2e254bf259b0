# The bill period editor opened from Bill Periods in the main window against the development server.
if(TARGET tallyway-devserver)
  tally_add_test(main_billperiodeditor GTEST GUI TIMEOUT 120
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_billperiodeditor_server.cpp
    LIBS tally_main tally_testsupport Qt6::Test)
  tally_uses_devserver(main_billperiodeditor)
  if(TALLY_SANITIZE)
    set_property(TEST main_billperiodeditor APPEND PROPERTY ENVIRONMENT
                 "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/client/main/fontconfig-lsan.supp")
  endif()
endif()
