# Report plug-ins: the fixture libraries (one source, one variant each), the plain parts, the menu and
# runs against the fixtures, the in-page commands, and the browser pane with the real engine.
set(_fixture_dir ${CMAKE_BINARY_DIR}/tests/report-fixtures)
set(_fixtures)
foreach(_variant good no_title run_zero fill_1023 no_nul broken_spec week other overrun_name overrun_run)
  set(_target report_fixture_${_variant})
  add_library(${_target} MODULE ${CMAKE_CURRENT_LIST_DIR}/fixtures/fixture_report.c)
  target_include_directories(${_target} PRIVATE ${CMAKE_SOURCE_DIR}/client/reports)
  set_target_properties(${_target} PROPERTIES PREFIX "" OUTPUT_NAME ${_variant}
                        LIBRARY_OUTPUT_DIRECTORY ${_fixture_dir} C_VISIBILITY_PRESET hidden AUTOMOC OFF)
  target_compile_options(${_target} PRIVATE -Wall -Wextra -Werror)
  list(APPEND _fixtures ${_target})
endforeach()
target_compile_definitions(report_fixture_no_title PRIVATE FIXTURE_NO_TITLE "FIXTURE_NAME=\"fixture_no_title\"")
target_compile_definitions(report_fixture_run_zero PRIVATE FIXTURE_RUN_ZERO "FIXTURE_NAME=\"fixture_zero\"")
target_compile_definitions(report_fixture_fill_1023 PRIVATE FIXTURE_FILL_1023 "FIXTURE_NAME=\"fixture_full\"")
target_compile_definitions(report_fixture_no_nul PRIVATE FIXTURE_NO_NUL "FIXTURE_NAME=\"fixture_no_nul\"")
target_compile_definitions(report_fixture_broken_spec PRIVATE FIXTURE_BROKEN "FIXTURE_NAME=\"fixture_broken\"")
target_compile_definitions(report_fixture_week PRIVATE FIXTURE_WEEK "FIXTURE_NAME=\"fixture_week\"")
target_compile_definitions(report_fixture_other PRIVATE "FIXTURE_NAME=\"fixture_other\"")
target_compile_definitions(report_fixture_overrun_name PRIVATE FIXTURE_OVERRUN_NAME)
target_compile_definitions(report_fixture_overrun_run PRIVATE FIXTURE_OVERRUN_RUN "FIXTURE_NAME=\"fixture_overrun\"")

tally_add_test(reports_params GTEST SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_reportparams.cpp
               LIBS tally_reports tally_testsupport)
tally_add_test(reports_plugins GUI SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_reportcontroller.cpp
               LIBS tally_reports_ui tally_testsupport Qt6::Test)
target_compile_definitions(reports_plugins PRIVATE TALLY_REPORT_FIXTURES="${_fixture_dir}")
add_dependencies(reports_plugins ${_fixtures})

# End to end against the development server, with the shipped plug-ins.
if(TARGET tallyway-devserver)
  tally_add_test(reports_e2e GUI TIMEOUT 180 SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_e2e_reports.cpp
                 LIBS tally_main tally_testsupport Qt6::Test)
  target_compile_definitions(reports_e2e PRIVATE TALLY_DEVSERVER="$<TARGET_FILE:tallyway-devserver>"
                                                 TALLY_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  add_dependencies(reports_e2e tallyway-devserver tally_reports_shipped tallyview_help tallyview-viewer)
  tally_engine_test(reports_e2e)
endif()

tally_add_test(reports_shipped GUI SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_shippedreports.cpp
               LIBS tally_reports Qt6::Widgets Qt6::Test)
target_compile_definitions(reports_shipped PRIVATE TALLY_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
add_dependencies(reports_shipped tally_reports_shipped)
