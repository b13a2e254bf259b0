# Quaystone's tests. The service test loads the manager and the plug-in with the service configurator
# from build/bin; an inherited run path (DT_RPATH) lets the ACE library's loads find them there.
tally_add_test(quaystone_service GTEST SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/quaystone_service_test.cpp
               LIBS exlcore dl)
target_include_directories(quaystone_service PRIVATE ${CMAKE_SOURCE_DIR}/plugin)
target_link_options(quaystone_service PRIVATE -Wl,--disable-new-dtags)
add_dependencies(quaystone_service Quaystone)
if(TALLY_SANITIZE)
  # The test reads the module's members through its header; the class's type information stays
  # hidden inside the plug-in, so the sanitizer cannot check those casts.
  target_compile_options(quaystone_service PRIVATE -fno-sanitize=vptr)
  set_property(TEST quaystone_service APPEND PROPERTY ENVIRONMENT "ASAN_OPTIONS=fast_unwind_on_malloc=0"
               "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/ace-lsan.supp")
endif()

file(GLOB _quaystone_function_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/quaystone_function*_test.cpp)
if(_quaystone_function_tests)
  tally_add_test(quaystone_functions GTEST SOURCES ${_quaystone_function_tests} LIBS Quaystone)
endif()
