# Speed of the sed engine beside POSIX regexec and std::regex (a benchmark, not a test).
find_package(benchmark REQUIRED)
add_executable(sed_bench ${CMAKE_CURRENT_SOURCE_DIR}/SedBench.cpp)
target_link_libraries(sed_bench PRIVATE sedobj benchmark::benchmark)
tally_warnings(sed_bench)
