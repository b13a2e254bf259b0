# Tests of the client core.
set(_core_libs tally_core tally_testsupport)
tally_add_test(core_xml SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_xml.cpp LIBS ${_core_libs} GTEST)
tally_add_test(core_formats SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_formats.cpp LIBS ${_core_libs} GTEST)
tally_add_test(core_query SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_query.cpp LIBS ${_core_libs} GTEST)
tally_add_test(core_settings SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_settings.cpp LIBS ${_core_libs} GTEST)
tally_add_test(core_envelope SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_envelope.cpp LIBS ${_core_libs} GTEST)
tally_add_test(core_exchange SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_exchange.cpp LIBS ${_core_libs} GTEST)
