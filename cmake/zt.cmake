# Helpers shared by the component CMakeLists.

include(GNUInstallDirs)

# The SDK's public headers are installed together in one folder.
set(ZT_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/zt)
# Installed programs find the libraries through a path relative to themselves.
file(RELATIVE_PATH zt_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
set(ZT_PROGRAM_INSTALL_RPATH "$ORIGIN/${zt_bin_to_lib}")

# zt_shared_library(NAME CORE <static library> EXPORTS <map> [SOVERSION <major>] [INCLUDES <dir>...])
# Every component with a shared library builds the same way: all of its code goes into one
# internal static library (the core, which its tests link), and the shared library is made of
# the core's objects, exporting exactly the symbols in its linker version script. A test links
# either the shared library or the core, never both.
# The library is part of the installed SDK: lib<name>.so.<major>.<minor>.<patch> with the soname
# lib<name>.so.<major>, where the major version is the ABI (SOVERSION, 1 by default: raise it when
# an exported signature changes), its include/ headers in include/zt, <name>.pc and the imported
# target zt::<name> of the CMake package ztaccess. INCLUDES names further folders of public
# headers that its own headers include (installed once, by cmake/zt_package.cmake).
function(zt_shared_library name)
  cmake_parse_arguments(ARG "" "CORE;EXPORTS;SOVERSION" "INCLUDES" ${ARGN})
  if(NOT ARG_SOVERSION)
    set(ARG_SOVERSION 1)
  endif()
  add_library(${name} SHARED $<TARGET_OBJECTS:${ARG_CORE}>)
  foreach(dir ${CMAKE_CURRENT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/common/include ${ARG_INCLUDES})
    target_include_directories(${name} PUBLIC $<BUILD_INTERFACE:${dir}>)
  endforeach()
  target_include_directories(${name} INTERFACE $<INSTALL_INTERFACE:${ZT_INSTALL_INCLUDEDIR}>)
  # Brings the core's own dependencies; its members are all present already as objects.
  target_link_libraries(${name} PRIVATE ${ARG_CORE})
  target_link_options(${name} PRIVATE -Wl,--version-script=${ARG_EXPORTS})
  # Sanitizer runtimes are resolved from the executable, so only plain builds insist on
  # every symbol being defined.
  if(NOT ZT_SANITIZE)
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
  endif()
  set_target_properties(${name} PROPERTIES
    LINK_DEPENDS ${ARG_EXPORTS}
    VERSION ${ARG_SOVERSION}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}
    SOVERSION ${ARG_SOVERSION}
    # The SDK's libraries are installed side by side.
    INSTALL_RPATH "$ORIGIN")

  install(TARGETS ${name} EXPORT ztaccessTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
  install(DIRECTORY include/ DESTINATION ${ZT_INSTALL_INCLUDEDIR} COMPONENT dev)
  zt_pkg_config_file(${name} ${ARG_CORE})
  # name=map of every SDK library, for the tests of the installed SDK.
  set_property(GLOBAL APPEND PROPERTY ZT_SDK_LIBRARIES "${name}=${ARG_EXPORTS}")
endfunction()

# zt_install_program(NAME): installs a program into bin/ with the tools package.
function(zt_install_program name)
  set_target_properties(${name} PROPERTIES INSTALL_RPATH "${ZT_PROGRAM_INSTALL_RPATH}")
  install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  set_property(GLOBAL APPEND PROPERTY ZT_PROGRAMS ${name})
endfunction()

# zt_install_configured(<file>.in DESTINATION <dir> COMPONENT <component>)
# Installs <file> into <dir> below the prefix, made from <file>.in with @ZT_PREFIX@ replaced by
# the prefix, which is known only at install time (cmake --install --prefix P; /usr for the
# Debian packages).
function(zt_install_configured template)
  cmake_parse_arguments(ARG "" "DESTINATION;COMPONENT" "" ${ARGN})
  get_filename_component(file_name ${template} NAME)
  string(REGEX REPLACE "\\.in$" "" file_name ${file_name})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/install-time/${file_name})
  install(CODE "
    set(ZT_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
    configure_file(\"${template}\" \"${out}\" @ONLY)
    file(INSTALL \"${out}\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${ARG_DESTINATION}\")"
    COMPONENT ${ARG_COMPONENT})
endfunction()

# <name>.pc for zt_shared_library. Requires.private names the SDK libraries the core links,
# Libs.private the system libraries under it (collected through the internal static libraries).
function(zt_pkg_config_file name core)
  set(requires "")
  set(libs "")
  set(pending ${core})
  set(seen "")
  while(pending)
    list(POP_FRONT pending item)
    if(item IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${item})
    if(item MATCHES "^PkgConfig::(.+)$")
      foreach(lib ${${CMAKE_MATCH_1}_LIBRARIES})
        list(APPEND libs -l${lib})
      endforeach()
    elseif(item STREQUAL "OpenSSL::SSL")
      list(APPEND libs -lssl -lcrypto)
    elseif(item STREQUAL "OpenSSL::Crypto")
      list(APPEND libs -lcrypto)
    elseif(item STREQUAL "Threads::Threads")
      list(APPEND libs -pthread)
    elseif(TARGET ${item})
      get_target_property(type ${item} TYPE)
      if(type STREQUAL "SHARED_LIBRARY")
        list(APPEND requires ${item})
      elseif(type STREQUAL "STATIC_LIBRARY")
        get_target_property(deps ${item} LINK_LIBRARIES)
        if(deps)
          list(APPEND pending ${deps})
        endif()
      endif()
    else()
      message(FATAL_ERROR "${name}.pc: no pkg-config text for the dependency ${item}")
    endif()
  endwhile()
  list(REMOVE_DUPLICATES libs)
  string(JOIN " " ZT_PC_REQUIRES ${requires})
  string(JOIN " " ZT_PC_LIBS_PRIVATE ${libs})
  set(ZT_PC_NAME ${name})
  set(ZT_PC_VERSION ${PROJECT_VERSION})
  # @ZT_PREFIX@ stays for the install-time step.
  set(ZT_PREFIX @ZT_PREFIX@)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/zt.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc.in @ONLY)
  zt_install_configured(${CMAKE_CURRENT_BINARY_DIR}/${name}.pc.in
                        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
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
