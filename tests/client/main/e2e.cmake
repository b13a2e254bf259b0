# End-to-end: the main window offscreen against the development server on a free loopback port.
foreach(_e2e monitor firststart)
  tally_devserver_test(e2e_${_e2e} GUI TIMEOUT 180
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_e2e_${_e2e}.cpp
    LIBS tally_main tally_testsupport Qt6::Test)
  # The monitor leaks nothing of the font library's; the first-start run keeps its suppression.
  if(TALLY_SANITIZE AND TEST e2e_${_e2e} AND NOT _e2e STREQUAL "monitor")
    set_property(TEST e2e_${_e2e} APPEND PROPERTY ENVIRONMENT
                 "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/client/main/fontconfig-lsan.supp")
  endif()
endforeach()
