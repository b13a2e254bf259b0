# The statistics logic is compiled into its tests directly, so they do not wait for the whole
# main-window library.
set(_stats_src ${CMAKE_SOURCE_DIR}/client/main)
tally_add_test(stats_tray GTEST
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_trayicon.cpp ${_stats_src}/zem_trayicon.cpp
  LIBS tally_core Qt6::Gui)
target_include_directories(stats_tray PRIVATE ${_stats_src})
tally_add_test(stats_poll GTEST GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_currentstats.cpp
          ${_stats_src}/zem_currentstats.cpp ${_stats_src}/zem_currentstats.h ${_stats_src}/zem_trayicon.cpp
  LIBS tally_log tally_core tally_testsupport Qt6::Widgets)
target_include_directories(stats_poll PRIVATE ${_stats_src})
tally_font_test(stats_tray stats_poll)
