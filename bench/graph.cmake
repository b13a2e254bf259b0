# The client's CPU with the traffic graph open: the real main window against the development server.
if(TARGET tally_main AND TARGET tallyway-devserver AND TARGET tally_testsupport)
  add_executable(graph_cpu_bench ${CMAKE_CURRENT_LIST_DIR}/GraphCpuBench.cpp)
  target_link_libraries(graph_cpu_bench PRIVATE tally_main tally_testsupport Qt6::Test)
  target_include_directories(graph_cpu_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/client/main)
  target_compile_definitions(graph_cpu_bench PRIVATE TALLY_DEVSERVER="$<TARGET_FILE:tallyway-devserver>")
  add_dependencies(graph_cpu_bench tallyway-devserver)
  tally_warnings(graph_cpu_bench)
endif()
