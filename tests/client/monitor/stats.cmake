# The statistics poll, the pace of a bill period and the tray picture: logic without a display, and
# the statistics view offscreen.
tally_add_test(monitor_pace GTEST SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_pace.cpp
               LIBS tally_monitor tally_testsupport)
tally_add_test(stats_tray GTEST GUI SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_trayicon.cpp
               LIBS tally_monitor_ui)
tally_add_test(stats_poll GTEST GUI SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_currentstats.cpp
               LIBS tally_monitor_ui tally_testsupport Qt6::Widgets Qt6::Test)
tally_font_test(stats_tray stats_poll)
target_include_directories(stats_poll PRIVATE ${CMAKE_SOURCE_DIR}/tests/client/main)
