# Speed of the sed engine beside POSIX regexec and std::regex (a benchmark, not a test).
find_package(benchmark REQUIRED)
add_executable(sed_bench ${CMAKE_CURRENT_SOURCE_DIR}/SedBench.cpp)
target_link_libraries(sed_bench PRIVATE sedobj benchmark::benchmark)
tally_warnings(sed_bench)
if(TALLY_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # With the sanitizers, GCC 12 reports a std::function inside <regex> as maybe used uninitialized,
  # which it is not; the warning would otherwise stop the build.
  target_compile_options(sed_bench PRIVATE -Wno-maybe-uninitialized)
endif()
