# The shipped reports on a first start and removing a report, against the fixture libraries.
tally_add_test(reports_setup GUI SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_reportsetup.cpp
               LIBS tally_reports_ui tally_testsupport Qt6::Test)
target_compile_definitions(reports_setup PRIVATE TALLY_REPORT_FIXTURES="${CMAKE_BINARY_DIR}/tests/report-fixtures")
add_dependencies(reports_setup report_fixture_good report_fixture_other report_fixture_no_title)
