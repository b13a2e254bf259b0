# The client's folders (pages and shipped reports) and the session's autostart entry.
tally_add_test(core_appfolders SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_appfolders.cpp LIBS tally_core GTEST)
