# The sed engine: a static library with no Qt and no ACE, linked by the plug-in and by qsed.
file(GLOB _sedobj_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/SedObj*.cpp)
tally_add_library(sedobj STATIC SOURCES ${_sedobj_sources} ${CMAKE_CURRENT_SOURCE_DIR}/SedObj.h)
