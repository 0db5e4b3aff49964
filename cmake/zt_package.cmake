# The installed SDK and its Debian packages. Each library and program installs itself
# (zt_shared_library, zt_install_program); this adds what they share, the CMake package and the
# CPack set-up of `make package`. Components: runtime (the shared libraries), dev (headers,
# pkg-config files, CMake files, the unversioned .so links, the test CA as an example) and tools
# (the programs, the proxy's unit and configuration).
include(CMakePackageConfigHelpers)

# The records that the libraries' public headers share.
install(DIRECTORY common/include/ protocol/include/ DESTINATION ${ZT_INSTALL_INCLUDEDIR} COMPONENT dev)

# find_package(ztaccess) with the imported targets zt::ztdm, zt::ztsi, ...
set(zt_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/ztaccess)
install(EXPORT ztaccessTargets NAMESPACE zt:: DESTINATION ${zt_cmake_dir} COMPONENT dev)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/ztaccessConfig.cmake
     "include(\"\${CMAKE_CURRENT_LIST_DIR}/ztaccessTargets.cmake\")\n")
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/ztaccessConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ztaccessConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/ztaccessConfigVersion.cmake
        DESTINATION ${zt_cmake_dir} COMPONENT dev)

# The test CA whose key is public in certs/: an example for trying the SDKs against
# scripts/local-broker, never a CA that anything trusts by being installed.
install(FILES certs/ca.crt DESTINATION ${CMAKE_INSTALL_DATADIR}/ztaccess/examples RENAME test-ca.crt
        COMPONENT dev)

set(CPACK_PACKAGE_NAME ztaccess)
set(CPACK_PACKAGE_VENDOR "ztaccess")
set(CPACK_PACKAGE_CONTACT "ztaccess maintainers <ztaccess@localhost>" CACHE STRING
    "Maintainer field of the Debian packages")
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)
# The packages install into /usr, and the proxy's unit and configuration into /lib/systemd/system
# and /etc (see ztsi-proxy/install_service.cmake), so they are staged through DESTDIR. Their
# libraries go to Debian's multiarch folder when the build was configured for the prefix /usr,
# as `make package` does.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends on the system libraries as dpkg-shlibdeps finds them; the SDK's own libraries are
# found in the build tree and come from libztaccess1 (a component dependency).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

# A shlibs file for the packages that link the libraries (only libztaccess1 has any).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libztaccess1)
# ldconfig runs through dpkg's trigger.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/debian/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/debian/triggers)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libztaccess-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ztaccess-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION net)
# Files below /etc that the components registered are the tools package's conffiles.
get_property(zt_conffiles GLOBAL PROPERTY ZT_DEBIAN_CONFFILES)
if(zt_conffiles)
  list(JOIN zt_conffiles "\n" zt_conffiles)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/debian/conffiles "${zt_conffiles}\n")
  set(CPACK_DEBIAN_TOOLS_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/debian/conffiles)
endif()

# Lists for the descriptions, as the components registered themselves.
get_property(zt_libraries GLOBAL PROPERTY ZT_SDK_LIBRARIES)
list(TRANSFORM zt_libraries REPLACE "=.*" "")
string(JOIN ", " zt_library_list ${zt_libraries})
get_property(zt_programs GLOBAL PROPERTY ZT_PROGRAMS)
string(JOIN ", " zt_program_list ${zt_programs})

# The first line of each description is the package's synopsis.
include(CPack)
cpack_add_component(runtime DISPLAY_NAME "ztaccess shared libraries"
  DESCRIPTION "device access layer for access sites (shared libraries)
The device access layer connects the field equipment of vehicle and
pedestrian access sites to applications through an MQTT broker.
This package holds its shared libraries:
${zt_library_list}.")
cpack_add_component(dev DISPLAY_NAME "ztaccess development files" DEPENDS runtime
  DESCRIPTION "device access layer for access sites (development files)
Public C headers, pkg-config files and the CMake package ztaccess
(imported targets zt::<name>) of the libraries
${zt_library_list},
and the project's test CA as an example file.")
cpack_add_component(tools DISPLAY_NAME "ztaccess programs" DEPENDS runtime
  DESCRIPTION "device access layer for access sites (programs and proxy service)
The programs ${zt_program_list}.
ztsi-proxy comes with its systemd unit ztsi-proxy.service (not enabled)
and its configuration in /etc/ztsi-proxy.")
