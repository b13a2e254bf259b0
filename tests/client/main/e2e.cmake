# End-to-end: the main window offscreen against the development server on a free loopback port.
foreach(_e2e monitor firststart)
  tally_devserver_test(e2e_${_e2e} GUI TIMEOUT 180
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_e2e_${_e2e}.cpp
    LIBS tally_main tally_testsupport Qt6::Test)
endforeach()
# The monitor leaks nothing of the font library's; the first-start run does.
tally_font_test(e2e_firststart)
