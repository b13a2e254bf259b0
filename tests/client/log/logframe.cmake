tally_add_test(logframe_stringbuffer GTEST
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_stringbuffer.cpp
  LIBS tally_log)
tally_add_test(logframe_exchange GTEST GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_logframe.cpp
  LIBS tally_log tally_testsupport Qt6::Widgets)
target_include_directories(logframe_exchange PRIVATE ${CMAKE_SOURCE_DIR}/tests/client/main)
if(TALLY_SANITIZE)
  # Pictures and widgets draw text through the system font library, whose caches outlive the test.
  set_property(TEST logframe_exchange APPEND PROPERTY ENVIRONMENT
               "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/client/main/fontconfig-lsan.supp")
endif()
