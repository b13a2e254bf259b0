# End-to-end: the main window offscreen against the development server on a free loopback port.
if(TARGET tallyway-devserver)
  tally_add_test(e2e_monitor GUI TIMEOUT 180
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_e2e_monitor.cpp
    LIBS tally_main tally_testsupport Qt6::Test)
  target_compile_definitions(e2e_monitor PRIVATE TALLY_DEVSERVER="$<TARGET_FILE:tallyway-devserver>")
  add_dependencies(e2e_monitor tallyway-devserver)
  if(TALLY_SANITIZE)
    set_property(TEST e2e_monitor APPEND PROPERTY ENVIRONMENT
                 "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/client/main/fontconfig-lsan.supp")
  endif()
endif()
if(TARGET tallyway-devserver)
  tally_add_test(e2e_firststart GUI TIMEOUT 180
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_e2e_firststart.cpp
    LIBS tally_main tally_testsupport Qt6::Test)
  target_compile_definitions(e2e_firststart PRIVATE TALLY_DEVSERVER="$<TARGET_FILE:tallyway-devserver>")
  add_dependencies(e2e_firststart tallyway-devserver)
  if(TALLY_SANITIZE)
    set_property(TEST e2e_firststart APPEND PROPERTY ENVIRONMENT
                 "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/client/main/fontconfig-lsan.supp")
  endif()
endif()
