# The development server: its logic as a library (tested directly) and a thin executable.
tally_add_library(tally_devserver
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/adapters.cpp ${CMAKE_CURRENT_LIST_DIR}/adapters.h
    ${CMAKE_CURRENT_LIST_DIR}/billperiods.cpp ${CMAKE_CURRENT_LIST_DIR}/billperiods.h
    ${CMAKE_CURRENT_LIST_DIR}/clock.h
    ${CMAKE_CURRENT_LIST_DIR}/faults.cpp ${CMAKE_CURRENT_LIST_DIR}/faults.h
    ${CMAKE_CURRENT_LIST_DIR}/files.cpp ${CMAKE_CURRENT_LIST_DIR}/files.h
    ${CMAKE_CURRENT_LIST_DIR}/logbook.cpp ${CMAKE_CURRENT_LIST_DIR}/logbook.h
    ${CMAKE_CURRENT_LIST_DIR}/options.cpp ${CMAKE_CURRENT_LIST_DIR}/options.h
    ${CMAKE_CURRENT_LIST_DIR}/reports.cpp
    ${CMAKE_CURRENT_LIST_DIR}/request.cpp ${CMAKE_CURRENT_LIST_DIR}/request.h
    ${CMAKE_CURRENT_LIST_DIR}/server.cpp ${CMAKE_CURRENT_LIST_DIR}/server.h
    ${CMAKE_CURRENT_LIST_DIR}/service.cpp ${CMAKE_CURRENT_LIST_DIR}/service.h
    ${CMAKE_CURRENT_LIST_DIR}/state.cpp ${CMAKE_CURRENT_LIST_DIR}/state.h
    ${CMAKE_CURRENT_LIST_DIR}/xml.cpp ${CMAKE_CURRENT_LIST_DIR}/xml.h
  LIBS Qt6::Core Qt6::Network)

add_executable(tallyway-devserver ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(tallyway-devserver PRIVATE tally_devserver)
tally_warnings(tallyway-devserver)

# The example fixture sits beside the executable, so `tallyway-devserver --adapters bin/...` finds it.
configure_file(${CMAKE_CURRENT_LIST_DIR}/adapters-example.json
               ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/devserver-adapters-example.json COPYONLY)
