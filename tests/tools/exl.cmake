# exl end to end: the program over a file of lines, with the plug-ins loaded by the service
# configurator from the default configuration beside it.
if(TARGET exl)
  add_test(NAME exl_end_to_end COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/exl_end_to_end.sh $<TARGET_FILE:exl>)
  set_tests_properties(exl_end_to_end PROPERTIES TIMEOUT 60)
  if(TALLY_SANITIZE)
    set_tests_properties(exl_end_to_end PROPERTIES ENVIRONMENT
                         "ASAN_OPTIONS=fast_unwind_on_malloc=0;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/plugin/ace-lsan.supp")
  endif()
endif()
