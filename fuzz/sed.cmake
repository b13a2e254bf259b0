# libFuzzer target of the sed engine (clang only): the engine's sources are built into it.
file(GLOB _sed_fuzz_engine CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/plugin/SedObj*.cpp)
tally_add_fuzzer(sed_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/SedFuzz.cpp ${_sed_fuzz_engine}
                 INCLUDES ${CMAKE_SOURCE_DIR}/plugin)
