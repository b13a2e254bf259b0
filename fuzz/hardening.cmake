# libFuzzer targets of the readers of outside input (clang only; see tally_add_fuzzer, which skips a
# target whose library is not built). They link the project's libraries, which a fuzz build
# instruments for coverage.
if(CMAKE_CXX_COMPILER_ID MATCHES Clang)
  set(_dir ${CMAKE_CURRENT_LIST_DIR})
  tally_add_fuzzer(fuzz_replies SOURCES ${_dir}/replies_fuzzer.cpp LIBS tally_main)
  tally_add_fuzzer(fuzz_settings SOURCES ${_dir}/settings_fuzzer.cpp LIBS tally_core)
  tally_add_fuzzer(fuzz_specialities SOURCES ${_dir}/specialities_fuzzer.cpp LIBS tally_reports)
  tally_add_fuzzer(fuzz_exl SOURCES ${_dir}/exl_fuzzer.cpp LIBS exlcore)
  tally_add_fuzzer(fuzz_quaystone SOURCES ${_dir}/quaystone_fuzzer.cpp LIBS Quaystone)
  tally_add_fuzzer(fuzz_devserver_files SOURCES ${_dir}/devserver_files_fuzzer.cpp LIBS tally_devserver)
endif()
