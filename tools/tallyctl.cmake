# tallyctl: the server's data and settings for scripts and panel widgets, on the client's own request
# building, XML reader and reply checks. A library with the commands (for the tests) and a thin program.
if(TARGET tally_core AND TARGET tally_adapters)
  file(GLOB _tallyctl_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tallyctl/*.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/tallyctl/*.h)
  list(FILTER _tallyctl_sources EXCLUDE REGEX "/main\\.cpp$")
  add_library(tallyctl_lib STATIC ${_tallyctl_sources})
  target_include_directories(tallyctl_lib PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/tallyctl)
  target_link_libraries(tallyctl_lib PUBLIC tally_core tally_adapters tally_billing tally_monitor Qt6::Core)
  tally_warnings(tallyctl_lib)

  add_executable(tallyctl ${CMAKE_CURRENT_SOURCE_DIR}/tallyctl/main.cpp)
  target_link_libraries(tallyctl PRIVATE tallyctl_lib)
  tally_warnings(tallyctl)
endif()
