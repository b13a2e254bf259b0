# The pace of a bill period and its alerts: plain logic, no display.
tally_add_test(main_pace GTEST
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_pace.cpp ${CMAKE_SOURCE_DIR}/client/main/zem_pace.cpp
  LIBS tally_core tally_testsupport)
target_include_directories(main_pace PRIVATE ${CMAKE_SOURCE_DIR}/client/main)
# The Alerts page and the alerts end to end in the main window against the development server.
if(TARGET tallyway-devserver)
  tally_add_test(main_alerts GUI TIMEOUT 120
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_alerts.cpp
    LIBS tally_main tally_testsupport Qt6::Test)
  target_compile_definitions(main_alerts PRIVATE TALLY_DEVSERVER="$<TARGET_FILE:tallyway-devserver>")
  add_dependencies(main_alerts tallyway-devserver)
endif()
