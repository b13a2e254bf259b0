# The tallyview program: a thin main over the client libraries, with its help pages and welcome page
# copied next to it (the program finds them relative to its own folder).
add_executable(tallyview ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(tallyview PRIVATE tally_main)
tally_warnings(tallyview)

set(_tally_help_dir ${CMAKE_SOURCE_DIR}/help)
file(GLOB _tally_help_pages CONFIGURE_DEPENDS ${_tally_help_dir}/HTML/*)
set(_tally_help_outputs)
foreach(_page IN LISTS _tally_help_pages)
  get_filename_component(_name ${_page} NAME)
  set(_out ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/HTML/${_name})
  add_custom_command(OUTPUT ${_out} COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_page} ${_out}
                     DEPENDS ${_page} COMMENT "Help page ${_name}" VERBATIM)
  list(APPEND _tally_help_outputs ${_out})
endforeach()
set(_welcome_out ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Welcome.htm)
add_custom_command(OUTPUT ${_welcome_out}
                   COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_tally_help_dir}/Welcome.htm ${_welcome_out}
                   DEPENDS ${_tally_help_dir}/Welcome.htm VERBATIM)
add_custom_target(tallyview_help ALL DEPENDS ${_tally_help_outputs} ${_welcome_out})
add_dependencies(tallyview tallyview_help tallyview-viewer)
# Installed, the pages go to share/tallyway (cmake/TallyInstall.cmake).
