# End-to-end: a client started before its server, against the development server.
if(TARGET tallyway-devserver)
  tally_add_test(e2e_outage GTEST GUI TIMEOUT 120
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_e2e_outage.cpp
    LIBS tally_main tally_testsupport Qt6::Test)
  target_compile_definitions(e2e_outage PRIVATE TALLY_DEVSERVER="$<TARGET_FILE:tallyway-devserver>")
  add_dependencies(e2e_outage tallyway-devserver)
  tally_font_test(e2e_outage)
endif()
