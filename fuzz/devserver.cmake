# libFuzzer target for the development server's request parser (clang only).
if(TARGET tally_devserver AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  tally_add_fuzzer(fuzz_devserver_request
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/devserver_request_fuzz.cpp
            ${CMAKE_SOURCE_DIR}/devserver/request.cpp ${CMAKE_SOURCE_DIR}/devserver/billperiods.cpp
    INCLUDES ${CMAKE_SOURCE_DIR}/devserver LIBS Qt6::Core)
endif()
