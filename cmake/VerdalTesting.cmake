include(GoogleTest)

# verdal_add_test(NAME LABEL unit|integration|languages SOURCES file... LIBS lib...
#                 [TIMEOUT seconds] [FIXTURES fixture...])
# Builds one GoogleTest program and registers each of its tests with ctest under the label:
# unit for tests that need no other process, integration for those that run the device
# simulator, the catalogue service or another program beside them, languages for those that run
# in the locales that the fixture languages_locales makes.
function(verdal_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT;LABEL" "SOURCES;LIBS;FIXTURES" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  if(NOT ARG_LABEL MATCHES "^(unit|integration|languages|nginx)$")
    message(FATAL_ERROR "verdal_add_test(${name}): LABEL unit, integration, languages or nginx")
  endif()
  set(fixtures)
  if(ARG_FIXTURES)
    set(fixtures FIXTURES_REQUIRED "${ARG_FIXTURES}")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    PROPERTIES TIMEOUT ${ARG_TIMEOUT}
               LABELS ${ARG_LABEL}
               ${fixtures}
               ENVIRONMENT "VERDAL_BIN=${CMAKE_BINARY_DIR}/bin;VERDAL_SOURCE=${CMAKE_SOURCE_DIR}"
    DISCOVERY_TIMEOUT 60)
endfunction()
