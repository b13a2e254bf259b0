# exl: evaluates an expression for every line of standard input, with the functions that the service
# configuration file loads. The default configuration file ships beside the program.
find_package(PkgConfig REQUIRED)
pkg_check_modules(ACE REQUIRED IMPORTED_TARGET ACE)

add_executable(exl ${CMAKE_CURRENT_SOURCE_DIR}/exl.cpp ${CMAKE_CURRENT_SOURCE_DIR}/ExlRunner.cpp
                   ${CMAKE_CURRENT_SOURCE_DIR}/ExlRunner.h)
# SedObj.h only: the engine's exception is caught here, the engine itself lives in the plug-in.
target_include_directories(exl PRIVATE ${CMAKE_SOURCE_DIR}/plugin)
target_link_libraries(exl PRIVATE exlcore PkgConfig::ACE)
tally_warnings(exl)
# The service configurator loads plug-ins named without a path; an inherited run path (DT_RPATH, which
# also serves the loads that the ACE library makes) lets it find them beside the program.
target_link_options(exl PRIVATE -Wl,--disable-new-dtags)
set_target_properties(exl PROPERTIES BUILD_RPATH "\$ORIGIN" INSTALL_RPATH "\$ORIGIN")
# The plug-ins are loaded at run time, so they are built with the program.
add_dependencies(exl Quaystone)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/exl.conf ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/exl.conf COPYONLY)
