# libFuzzer targets of the readers of outside input (clang only; see tally_add_fuzzer). They link the
# project's libraries, which a fuzz build instruments for coverage.
if(CMAKE_CXX_COMPILER_ID MATCHES Clang)
  if(TARGET tally_main)
    tally_add_fuzzer(fuzz_replies SOURCES ${CMAKE_CURRENT_LIST_DIR}/replies_fuzzer.cpp LIBS tally_main)
  endif()
  if(TARGET tally_core)
    tally_add_fuzzer(fuzz_settings SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_fuzzer.cpp LIBS tally_core)
  endif()
  if(TARGET tally_reports)
    tally_add_fuzzer(fuzz_specialities SOURCES ${CMAKE_CURRENT_LIST_DIR}/specialities_fuzzer.cpp
                     LIBS tally_reports)
  endif()
  if(TARGET exlcore)
    tally_add_fuzzer(fuzz_exl SOURCES ${CMAKE_CURRENT_LIST_DIR}/exl_fuzzer.cpp LIBS exlcore)
  endif()
  if(TARGET Quaystone)
    tally_add_fuzzer(fuzz_quaystone SOURCES ${CMAKE_CURRENT_LIST_DIR}/quaystone_fuzzer.cpp LIBS Quaystone)
  endif()
  if(TARGET tally_devserver)
    tally_add_fuzzer(fuzz_devserver_files SOURCES ${CMAKE_CURRENT_LIST_DIR}/devserver_files_fuzzer.cpp
                     LIBS tally_devserver)
  endif()
endif()
