# tallyctl against the development server program on a free port, and the program itself.
if(TARGET tallyctl)
  tally_devserver_test(tallyctl_test GTEST SOURCES ${CMAKE_CURRENT_LIST_DIR}/tallyctl_test.cpp
                       LIBS tallyctl_lib tally_testsupport)
  if(TARGET tallyctl_test)
    add_dependencies(tallyctl_test tallyctl)
    target_compile_definitions(tallyctl_test PRIVATE
      TALLYCTL_PATH="$<TARGET_FILE:tallyctl>"
      TALLY_DEVSERVER_FIXTURE="${CMAKE_SOURCE_DIR}/devserver/adapters-example.json")
  endif()
endif()
