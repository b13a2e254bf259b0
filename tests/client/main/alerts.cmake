# The Alerts page and the alerts end to end in the main window against the development server.
if(TARGET tallyway-devserver)
  tally_add_test(main_alerts GUI TIMEOUT 120
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_alerts.cpp
    LIBS tally_main tally_testsupport Qt6::Test)
  target_compile_definitions(main_alerts PRIVATE TALLY_DEVSERVER="$<TARGET_FILE:tallyway-devserver>")
  add_dependencies(main_alerts tallyway-devserver)
endif()
