tally_add_test(adapters_treenode GTEST
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_treenode.cpp
  LIBS tally_adapters)
tally_add_test(adapters_list GTEST
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_adapterlist.cpp
  LIBS tally_adapters tally_testsupport)
# Widget tests offscreen.
foreach(_gui controller:tst_adaptercontroller configdlg:tst_adaptconfigdlg)
  string(REPLACE ":" ";" _gui "${_gui}")
  list(GET _gui 0 _name)
  list(GET _gui 1 _source)
  tally_add_test(adapters_${_name} GTEST GUI
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/${_source}.cpp
    LIBS tally_adapters_ui tally_testsupport Qt6::Widgets Qt6::Test)
  target_include_directories(adapters_${_name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/client/main)
  tally_font_test(adapters_${_name})
endforeach()
tally_add_test(adapters_config GTEST
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_adapterconfig.cpp
  LIBS tally_adapters tally_testsupport)
tally_devserver_test(adapters_config_roundtrip GTEST
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_configroundtrip.cpp
  LIBS tally_adapters tally_testsupport)
# The adapter flow: Bill Periods and Configuration, their pauses and every failing step.
tally_devserver_test(adapters_flow GTEST TIMEOUT 240
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_adapterflow.cpp
  LIBS tally_adapters tally_testsupport)
