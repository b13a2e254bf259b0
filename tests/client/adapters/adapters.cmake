tally_add_test(adapters_treenode GTEST
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_treenode.cpp
  LIBS tally_adapters)
tally_add_test(adapters_list GTEST
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_adapterlist.cpp
  LIBS tally_adapters tally_testsupport)
tally_add_test(adapters_controller GTEST GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_adaptercontroller.cpp
  LIBS tally_adapters tally_testsupport Qt6::Widgets Qt6::Test)
target_include_directories(adapters_controller PRIVATE ${CMAKE_SOURCE_DIR}/tests/client/main)
if(TALLY_SANITIZE)
  # Pictures and widgets draw text through the system font library, whose caches outlive the test.
  set_property(TEST adapters_controller APPEND PROPERTY ENVIRONMENT
               "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/client/main/fontconfig-lsan.supp")
endif()
tally_add_test(adapters_config GTEST
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_adapterconfig.cpp
  LIBS tally_adapters tally_testsupport)
if(TARGET tallyway-devserver)
  tally_add_test(adapters_config_roundtrip GTEST
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_configroundtrip.cpp
    LIBS tally_adapters tally_testsupport)
  target_compile_definitions(adapters_config_roundtrip PRIVATE TALLY_DEVSERVER="$<TARGET_FILE:tallyway-devserver>")
  add_dependencies(adapters_config_roundtrip tallyway-devserver)
endif()
tally_add_test(adapters_configdlg GTEST GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_adaptconfigdlg.cpp
  LIBS tally_adapters tally_testsupport Qt6::Widgets Qt6::Test)
target_include_directories(adapters_configdlg PRIVATE ${CMAKE_SOURCE_DIR}/tests/client/main)
if(TALLY_SANITIZE)
  set_property(TEST adapters_configdlg APPEND PROPERTY ENVIRONMENT
               "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/client/main/fontconfig-lsan.supp")
endif()
if(TARGET tallyway-devserver)
  tally_add_test(adapters_config_flow GTEST TIMEOUT 240
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_configflow.cpp
    LIBS tally_adapters tally_testsupport)
  target_compile_definitions(adapters_config_flow PRIVATE TALLY_DEVSERVER="$<TARGET_FILE:tallyway-devserver>")
  add_dependencies(adapters_config_flow tallyway-devserver)
endif()
