# Installs the service's unit, configuration and base folder. Runs at install time, when the
# prefix is known: an installation with the prefix /usr (the Debian package) is the system's
# own, with the unit in /lib/systemd/system, the configuration in /etc/ztsi-proxy and the base
# folder /var/lib/ztsi-proxy; any other prefix holds all of them below itself.
# Set by the install rule: ZT_PROXY_SOURCE_DIR, ZT_PROXY_BINARY_DIR, ZT_INSTALL_BINDIR,
# ZT_INSTALL_DATADIR.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(root "")
else()
  set(root "${CMAKE_INSTALL_PREFIX}")
endif()
set(config_dir "${root}/etc/ztsi-proxy")
set(base_dir "${root}/var/lib/ztsi-proxy")
set(log_dir "${root}/var/log/ztsi-proxy")

# The unit is the one `ztsi-proxy -Install` writes, run from the installed program.
file(READ "${ZT_PROXY_SOURCE_DIR}/ztsi-proxy.service.in" unit)
string(REPLACE "{ExecStart}" "${CMAKE_INSTALL_PREFIX}/${ZT_INSTALL_BINDIR}/ztsi-proxy --base-dir ${base_dir}"
       unit "${unit}")
file(WRITE "${ZT_PROXY_BINARY_DIR}/install-time/ztsi-proxy.service" "${unit}")
file(INSTALL "${ZT_PROXY_BINARY_DIR}/install-time/ztsi-proxy.service" DESTINATION "${root}/lib/systemd/system")

# The proxy beside the devices (client mode) is configured by default; both samples are examples.
file(INSTALL "${ZT_PROXY_SOURCE_DIR}/config/client/system.json" "${ZT_PROXY_SOURCE_DIR}/config/logger.json"
     DESTINATION "${config_dir}")
file(INSTALL "${ZT_PROXY_SOURCE_DIR}/config/"
     DESTINATION "${CMAKE_INSTALL_PREFIX}/${ZT_INSTALL_DATADIR}/ztaccess/examples/ztsi-proxy")

# The base folder holds config/ and log/ (and a crash report): links to the places above,
# the one within var/ relative.
file(MAKE_DIRECTORY "$ENV{DESTDIR}${base_dir}" "$ENV{DESTDIR}${log_dir}")
file(CREATE_LINK "${config_dir}" "$ENV{DESTDIR}${base_dir}/config" SYMBOLIC)
file(CREATE_LINK "../../log/ztsi-proxy" "$ENV{DESTDIR}${base_dir}/log" SYMBOLIC)
