# Main window shell, dialogs and help. Only main_web starts the browser engine (it costs seconds).
tally_add_test(main_dialogs GUI SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_dialogs.cpp
               LIBS tally_main tally_testsupport Qt6::Test)
tally_add_test(main_mainwin GUI SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mainwin.cpp
               LIBS tally_main tally_testsupport Qt6::Test)
tally_add_test(main_help GUI SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_help.cpp
               LIBS tally_main tally_testsupport Qt6::Test)
target_compile_definitions(main_help PRIVATE TALLY_HELP_SOURCE_DIR="${CMAKE_SOURCE_DIR}/help")
tally_add_test(main_web GUI TIMEOUT 180 SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_web.cpp
               LIBS tally_main tally_testsupport Qt6::Test)
target_compile_definitions(main_web PRIVATE TALLY_HELP_SOURCE_DIR="${CMAKE_SOURCE_DIR}/help")
tally_engine_test(main_web)
add_dependencies(main_web tallyview-viewer)
