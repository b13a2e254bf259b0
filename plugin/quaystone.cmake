# Quaystone: the function plug-in library, loaded by the service configurator through its factory
# export. Everything is hidden except the factory and the classes other modules use.
find_package(PkgConfig REQUIRED)
pkg_check_modules(ACE REQUIRED IMPORTED_TARGET ACE)

add_library(Quaystone SHARED
  ${CMAKE_CURRENT_SOURCE_DIR}/Quaystone.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/Quaystone.h
  ${CMAKE_CURRENT_SOURCE_DIR}/ZEBaseContainer.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ZEBaseContainer.h
  ${CMAKE_CURRENT_SOURCE_DIR}/ZEFunctionFace.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ZEFunctionFace.h
  ${CMAKE_CURRENT_SOURCE_DIR}/EXL_Function_Match.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/EXL_Function_Match.h
  ${CMAKE_CURRENT_SOURCE_DIR}/EXL_Function_Sed.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/EXL_Function_Sed.h)
target_include_directories(Quaystone PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
# The engine's archive is linked whole so that its exported classes are all in the library.
target_link_libraries(Quaystone PUBLIC exlcore PkgConfig::ACE PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,sedobj>")
set_target_properties(Quaystone PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
tally_warnings(Quaystone)
