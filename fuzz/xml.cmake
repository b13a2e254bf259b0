# libFuzzer target for the reply reader (clang only: CC=clang CXX=clang++ -DTALLY_BUILD_FUZZ=ON).
# The reader's source is compiled into the target itself so that it is instrumented.
if(CMAKE_CXX_COMPILER_ID MATCHES Clang AND TARGET Qt6::Core)
  tally_add_fuzzer(fuzz_xml SOURCES ${CMAKE_CURRENT_LIST_DIR}/xml_fuzzer.cpp ${CMAKE_SOURCE_DIR}/client/core/zem_simplexml.cpp
                   INCLUDES ${CMAKE_SOURCE_DIR}/client/core LIBS Qt6::Core)
endif()
