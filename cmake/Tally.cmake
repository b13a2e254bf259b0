# Shared helpers for the project's targets.

# Warnings that our own code must pass cleanly.
function(tally_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# tally_add_library(NAME [STATIC|SHARED] SOURCES ... [LIBS ...]): the current folder is its public include path.
function(tally_add_library name)
  cmake_parse_arguments(A "STATIC;SHARED" "" "SOURCES;LIBS" ${ARGN})
  if(A_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tally_add_library(${name}): unknown arguments ${A_UNPARSED_ARGUMENTS}")
  endif()
  set(kind STATIC)
  if(A_SHARED)
    set(kind SHARED)
  endif()
  add_library(${name} ${kind} ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_LIBS})
  tally_warnings(${name})
endfunction()

# tally_add_test(NAME SOURCES ... [LIBS ...] [GTEST] [GUI] [TIMEOUT seconds] [LABELS ...])
#   GTEST links gtest_main; otherwise the sources bring their own main (Qt Test).
#   GUI: the test shows widgets; it runs offscreen with the browser's sandbox off (we run as root, with
#   no display) and is labelled "gui". Any other test gets no display platform at all, so a test that
#   needs one without saying so fails, and is labelled "logic". `scripts/run-tests --quick` runs the
#   logic tests that start no server (tally_uses_devserver adds the label "server").
function(tally_add_test name)
  cmake_parse_arguments(A "GTEST;GUI" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(A_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tally_add_test(${name}): unknown arguments ${A_UNPARSED_ARGUMENTS}")
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  if(A_GTEST)
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main)
  endif()
  tally_warnings(${name})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  set(env "TALLYVIEW_SETTINGS_DIR=${CMAKE_BINARY_DIR}/test-settings-guard/${name}")
  if(A_GUI)
    list(APPEND env "QT_QPA_PLATFORM=offscreen" "QTWEBENGINE_DISABLE_SANDBOX=1"
         "TALLYVIEW_VIEWER=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/tallyview-viewer"
         "QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu --no-sandbox --disable-background-networking")
    list(APPEND A_LABELS gui)
  else()
    # Whatever the caller's environment says, a logic test gets no display platform.
    list(APPEND env "QT_QPA_PLATFORM=")
    list(APPEND A_LABELS logic)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${A_TIMEOUT} ENVIRONMENT "${env}" LABELS "${A_LABELS}")
endfunction()

# tally_folder_library(NAME [NO_WIDGETS] [NO_GUI] [LIBS ...]): one static library from every source file of
# the current folder. Several people add files to a folder at once, so sources are globbed; a folder with no
# sources yet makes an empty interface target so that dependants still configure.
#   NO_WIDGETS marks a logic library: configuration fails when it links, directly or through its
#   dependencies, Qt Widgets, the chart library, the browser engine or printing. NO_GUI also forbids
#   Qt Gui (the libraries the command-line tools link). The check runs once every target is known
#   (tally_check_layers at the end of the top-level list).
function(tally_folder_library name)
  cmake_parse_arguments(A "NO_WIDGETS;NO_GUI" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
  set(cpps ${srcs})
  list(FILTER cpps INCLUDE REGEX "\\.(cpp|qrc)$")
  if(cpps)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${A_LIBS})
    tally_warnings(${name})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${A_LIBS})
  endif()
  if(A_NO_GUI)
    set_property(GLOBAL APPEND PROPERTY TALLY_NO_GUI_TARGETS ${name})
  elseif(A_NO_WIDGETS)
    set_property(GLOBAL APPEND PROPERTY TALLY_NO_WIDGETS_TARGETS ${name})
  endif()
endfunction()

# Every library a target links, directly or through other targets (imported ones included).
function(_tally_link_closure target out)
  set(seen)
  set(todo ${target})
  while(todo)
    list(POP_FRONT todo t)
    if(t IN_LIST seen OR NOT TARGET ${t})
      continue()
    endif()
    list(APPEND seen ${t})
    get_target_property(type ${t} TYPE)
    set(libs)
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(direct ${t} LINK_LIBRARIES)
      if(direct)
        list(APPEND libs ${direct})
      endif()
    endif()
    get_target_property(iface ${t} INTERFACE_LINK_LIBRARIES)
    if(iface)
      list(APPEND libs ${iface})
    endif()
    foreach(lib IN LISTS libs)
      # $<LINK_ONLY:X> and similar wrappers name a target too.
      string(REGEX REPLACE "^\\$<[A-Z_]+:(.*)>$" "\\1" lib "${lib}")
      if(TARGET ${lib})
        get_target_property(aliased ${lib} ALIASED_TARGET)
        if(aliased)
          set(lib ${aliased})
        endif()
        list(APPEND todo ${lib})
      endif()
    endforeach()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# Fails configuration when a logic library links what its mark forbids, naming the path's culprit.
function(tally_check_layers)
  set(widget_libs Qt6::Widgets Qt6::WebEngineWidgets Qt6::WebEngineCore Qt6::PrintSupport Qt6::SvgWidgets
      Qt6::OpenGLWidgets QCustomPlotQt6::QCustomPlotQt6)
  set(gui_libs ${widget_libs} Qt6::Gui Qt6::Svg Qt6::OpenGL)
  get_property(no_widgets GLOBAL PROPERTY TALLY_NO_WIDGETS_TARGETS)
  get_property(no_gui GLOBAL PROPERTY TALLY_NO_GUI_TARGETS)
  foreach(kind IN ITEMS widgets gui)
    foreach(target IN LISTS no_${kind})
      _tally_link_closure(${target} closure)
      foreach(lib IN LISTS ${kind}_libs)
        if(lib IN_LIST closure)
          message(FATAL_ERROR "${target} is a logic library (no ${kind}) but links ${lib}, directly or "
                              "through one of: ${closure}")
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()

# Folders shared by several people include every *.cmake file beside their CMakeLists.txt,
# one file per topic, so nobody edits another's list.
macro(tally_include_parts)
  file(GLOB _parts CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cmake)
  list(SORT _parts)
  foreach(_part IN LISTS _parts)
    include(${_part})
  endforeach()
endmacro()

# tally_sanitizer_env(TEST VAR=VALUE ...): more environment for a test of a sanitizer build
# (TALLY_SANITIZE): the sanitizers' options, suppression files, or a case left out with its reason
# beside the call. Nothing in other builds, or when the test is not made.
function(tally_sanitizer_env name)
  if(TALLY_SANITIZE AND TEST ${name})
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT ${ARGN})
  endif()
endfunction()

# tally_font_test(TEST ...): the tests draw text through the system font library, whose caches outlive
# the test (tests/support/fontconfig-lsan.supp).
function(tally_font_test)
  foreach(name IN LISTS ARGN)
    tally_sanitizer_env(${name} "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/support/fontconfig-lsan.supp")
  endforeach()
endfunction()

# tally_engine_test(TEST): the test starts the browser engine. The engine frees some objects through
# a base of another size (a check that can only be switched off for the whole process, not for the
# engine's frames) and keeps allocations until the process ends; it draws text through the font
# library too (tests/support/engine-lsan.supp).
function(tally_engine_test name)
  tally_sanitizer_env(${name} "ASAN_OPTIONS=new_delete_type_mismatch=0"
                      "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/support/engine-lsan.supp")
endfunction()

# tally_add_fuzzer(NAME SOURCES ... [INCLUDES ...] [LIBS ...]): a libFuzzer target (clang only) whose
# sources, the code under test included, are built with coverage and the address and UB sanitizers.
# Not made when a library it needs is not built (a tree without the client, say).
function(tally_add_fuzzer name)
  cmake_parse_arguments(A "" "" "SOURCES;INCLUDES;LIBS" ${ARGN})
  if(A_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tally_add_fuzzer(${name}): unknown arguments ${A_UNPARSED_ARGUMENTS}")
  endif()
  foreach(lib IN LISTS A_LIBS)
    if(NOT TARGET ${lib})
      return()
    endif()
  endforeach()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${A_INCLUDES})
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -g -O1)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  tally_warnings(${name})
endfunction()

# tally_uses_devserver(TEST): the test starts the development server, whose path it gets as TALLY_DEVSERVER.
function(tally_uses_devserver name)
  target_compile_definitions(${name} PRIVATE TALLY_DEVSERVER="$<TARGET_FILE:tallyway-devserver>")
  add_dependencies(${name} tallyway-devserver)
  set_property(TEST ${name} APPEND PROPERTY LABELS server)
endfunction()

# tally_devserver_test(NAME <tally_add_test arguments>): tally_add_test for a test that starts the
# development server (tally_uses_devserver). Not made when the server is not built.
function(tally_devserver_test name)
  if(NOT TARGET tallyway-devserver)
    return()
  endif()
  tally_add_test(${name} ${ARGN})
  tally_uses_devserver(${name})
endfunction()
