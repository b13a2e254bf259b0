# The bill period editor, its chart and its dialogs.
tally_add_test(billing_editor GUI SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_billperiodeditor.cpp
               LIBS tally_billing_ui tally_testsupport Qt6::Test)
tally_add_test(billing_dialogs GUI SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_billperioddialogs.cpp
               LIBS tally_billing_ui tally_testsupport Qt6::Test)
tally_add_test(billing_ganttlayout GTEST SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_ganttlayout.cpp
               LIBS tally_billing tally_testsupport)
