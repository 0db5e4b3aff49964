# Helpers shared by the component CMakeLists.

# zt_shared_library(NAME CORE <static library> EXPORTS <map>)
# Every component with a shared library builds the same way: all of its code goes into one
# internal static library (the core, which its tests link), and the shared library is made of
# the core's objects, exporting exactly the symbols in its linker version script. A test links
# either the shared library or the core, never both.
function(zt_shared_library name)
  cmake_parse_arguments(ARG "" "CORE;EXPORTS" "" ${ARGN})
  add_library(${name} SHARED $<TARGET_OBJECTS:${ARG_CORE}>)
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                                            ${PROJECT_SOURCE_DIR}/common/include)
  # Brings the core's own dependencies; its members are all present already as objects.
  target_link_libraries(${name} PRIVATE ${ARG_CORE})
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
