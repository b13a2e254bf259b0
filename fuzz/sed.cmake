# libFuzzer target of the sed engine (clang only): the engine's sources are built into it with the
# fuzzer's coverage and the address and undefined-behaviour sanitizers.
file(GLOB _sed_fuzz_engine CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/plugin/SedObj*.cpp)
add_executable(sed_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/SedFuzz.cpp ${_sed_fuzz_engine})
target_include_directories(sed_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/plugin)
target_compile_options(sed_fuzz PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -g -O1)
target_link_options(sed_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
tally_warnings(sed_fuzz)
