# Helpers shared by the component CMakeLists.

# zt_shared_library(NAME EXPORTS <map> SOURCES ... LIBS ...)
# A shared library whose exported symbols are exactly those in its linker version script.
function(zt_shared_library name)
  cmake_parse_arguments(ARG "" "EXPORTS" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                                            ${PROJECT_SOURCE_DIR}/common/include
                                     PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE -Wl,--version-script=${ARG_EXPORTS})
  # Sanitizer runtimes are resolved from the executable, so only plain builds insist on
  # every symbol being defined.
  if(NOT ZT_SANITIZE)
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
  endif()
  set_target_properties(${name} PROPERTIES LINK_DEPENDS ${ARG_EXPORTS})
endfunction()

# zt_test(NAME SOURCES ... LIBS ...): one GoogleTest binary registered with ctest.
function(zt_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
endfunction()
