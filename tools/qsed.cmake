# qsed: the command-line front end of the sed engine.
add_executable(qsed ${CMAKE_CURRENT_SOURCE_DIR}/qsed.cpp)
target_link_libraries(qsed PRIVATE sedobj)
tally_warnings(qsed)
