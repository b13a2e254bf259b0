# Reading and showing a long adapter list: the reply, the aliases of unnamed adapters and the tree.
if(TARGET tally_adapters)
  find_package(benchmark REQUIRED)
  add_executable(adapters_bench ${CMAKE_CURRENT_LIST_DIR}/AdapterListBench.cpp)
  target_link_libraries(adapters_bench PRIVATE tally_adapters_ui benchmark::benchmark)
  tally_warnings(adapters_bench)
endif()
