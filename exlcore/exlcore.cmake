# The expression framework stand-in that hosts Quaystone: a shared library with the framework's
# classes, the function plug-in manager service and the expression parser.
find_package(PkgConfig REQUIRED)
pkg_check_modules(ACE REQUIRED IMPORTED_TARGET ACE)

file(GLOB _exlcore_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
tally_add_library(exlcore SHARED SOURCES ${_exlcore_sources} LIBS PkgConfig::ACE)
