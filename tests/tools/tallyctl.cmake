# tallyctl against the development server program on a free port, and the program itself; its exporter
# in process and as a program; and its metrics with the real Prometheus tools.
if(TARGET tallyctl)
  tally_devserver_test(tallyctl_test GTEST
                       SOURCES ${CMAKE_CURRENT_LIST_DIR}/tallyctl_test.cpp
                               ${CMAKE_CURRENT_LIST_DIR}/tst_exporter.cpp
                       LIBS tallyctl_lib tally_testsupport)
  if(TARGET tallyctl_test)
    add_dependencies(tallyctl_test tallyctl)
    target_compile_definitions(tallyctl_test PRIVATE
      TALLYCTL_PATH="$<TARGET_FILE:tallyctl>"
      TALLY_DEVSERVER_FIXTURE="${CMAKE_SOURCE_DIR}/devserver/adapters-example.json")

    # promtool on the shipped configuration and rules and on real output (under a second); and a real
    # Prometheus scraping the exporter that probes two servers (about 7 s, label "slow"). Both start
    # development servers and need no display.
    foreach(mode check e2e)
      add_test(NAME tallyctl_prometheus_${mode}
               COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/tallyctl_prometheus.sh ${mode} $<TARGET_FILE:tallyctl>
                       $<TARGET_FILE:tallyway-devserver> ${CMAKE_SOURCE_DIR})
      set_tests_properties(tallyctl_prometheus_${mode} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120
                           LABELS "logic;server")
    endforeach()
    set_property(TEST tallyctl_prometheus_e2e APPEND PROPERTY LABELS slow)
  endif()
endif()
