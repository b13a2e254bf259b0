tally_add_test(logframe_stringbuffer GTEST
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_stringbuffer.cpp
  LIBS tally_log)
tally_add_test(logframe_exchange GTEST GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_logframe.cpp
  LIBS tally_log_ui tally_testsupport Qt6::Widgets)
target_include_directories(logframe_exchange PRIVATE ${CMAKE_SOURCE_DIR}/tests/client/main)
tally_font_test(logframe_exchange)
