# The shared widgets (client builds only).
if(TALLY_BUILD_CLIENT)
  tally_add_test(core_spinedit GUI SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_spinedit.cpp
                 LIBS tally_core_ui tally_testsupport Qt6::Test)
endif()
