# libFuzzer target for the reply reader (clang only: CC=clang CXX=clang++ -DTALLY_BUILD_FUZZ=ON).
# The reader's source is compiled into the target itself so that it is instrumented.
if(CMAKE_CXX_COMPILER_ID MATCHES Clang AND TARGET Qt6::Core)
  add_executable(fuzz_xml ${CMAKE_CURRENT_LIST_DIR}/xml_fuzzer.cpp ${CMAKE_SOURCE_DIR}/client/core/zem_simplexml.cpp)
  target_include_directories(fuzz_xml PRIVATE ${CMAKE_SOURCE_DIR}/client/core)
  target_link_libraries(fuzz_xml PRIVATE Qt6::Core)
  target_compile_options(fuzz_xml PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(fuzz_xml PRIVATE -fsanitize=fuzzer,address,undefined)
  tally_warnings(fuzz_xml)
endif()
