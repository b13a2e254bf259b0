# The expression framework stand-in: language, values, scopes, manager and module base.
tally_add_test(exl_language GTEST SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/exl_language_test.cpp LIBS exlcore)
