tally_add_test(app_cli SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_cli.cpp LIBS tally_core Qt6::Core Qt6::Test)
target_compile_definitions(app_cli PRIVATE TALLYVIEW_PATH="$<TARGET_FILE:tallyview>")
add_dependencies(app_cli tallyview)
