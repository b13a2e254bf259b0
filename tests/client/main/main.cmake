# Main window shell, dialogs and help. Only main_web starts the browser engine (it costs seconds).
tally_add_test(main_dialogs GUI SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_dialogs.cpp
               LIBS tally_main tally_testsupport Qt6::Test)
tally_add_test(main_mainwin GUI SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mainwin.cpp
               LIBS tally_main tally_testsupport Qt6::Test)
tally_add_test(main_help GUI SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_help.cpp
               LIBS tally_main tally_testsupport Qt6::Test)
target_compile_definitions(main_help PRIVATE TALLY_HELP_SOURCE_DIR="${CMAKE_SOURCE_DIR}/help")
tally_add_test(main_web GUI TIMEOUT 180 SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_web.cpp
               LIBS tally_main tally_testsupport Qt6::Test)
target_compile_definitions(main_web PRIVATE TALLY_HELP_SOURCE_DIR="${CMAKE_SOURCE_DIR}/help")
if(TALLY_SANITIZE)
  # The browser engine frees some objects through a base of another size (a check that can only be
  # switched off for the whole process, not for its frames), and it, the font library and the device
  # library keep allocations until the process ends; the suppression file names those frames.
  set_property(TEST main_web APPEND PROPERTY ENVIRONMENT
               "ASAN_OPTIONS=new_delete_type_mismatch=0"
               "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/web-lsan.supp")
endif()
