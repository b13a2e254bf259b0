# libFuzzer target for the development server's request parser (clang only).
if(TARGET tally_devserver AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(fuzz_devserver_request
    ${CMAKE_CURRENT_LIST_DIR}/devserver_request_fuzz.cpp
    ${CMAKE_SOURCE_DIR}/devserver/request.cpp
    ${CMAKE_SOURCE_DIR}/devserver/billperiods.cpp)
  target_include_directories(fuzz_devserver_request PRIVATE ${CMAKE_SOURCE_DIR}/devserver)
  target_link_libraries(fuzz_devserver_request PRIVATE Qt6::Core)
  target_compile_options(fuzz_devserver_request PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(fuzz_devserver_request PRIVATE -fsanitize=fuzzer,address,undefined)
  tally_warnings(fuzz_devserver_request)
endif()
