# The systemd units of the services, their configuration in <sysconfdir>/telvar (/etc/telvar for
# the packages) and the state folder they may write, /var/lib/telvar (StateDirectory=telvar).
# A unit goes to lib/systemd/system under the prefix, where systemd looks for /usr and
# /usr/local alike; the packages may put it elsewhere with TELVAR_SYSTEMD_UNIT_DIR.
set(TELVAR_SYSTEMD_UNIT_DIR "lib/systemd/system" CACHE STRING "where the systemd units are installed")
set(TELVAR_CONF_DIR ${CMAKE_INSTALL_FULL_SYSCONFDIR}/telvar)
# Installed to /usr the configuration goes to /etc; under any other prefix it stays inside the
# prefix (PREFIX/etc), wherever `cmake --install --prefix` puts the tree.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(conf_destination ${TELVAR_CONF_DIR})
else()
  set(conf_destination ${CMAKE_INSTALL_SYSCONFDIR}/telvar)
endif()
set(TELVAR_UNIT_BUILD_DIR ${CMAKE_BINARY_DIR}/systemd)

# telvar_service(NAME COMPONENT): packaging/NAME.service.in, configured with the folders.
function(telvar_service name component)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/${name}.service.in ${TELVAR_UNIT_BUILD_DIR}/${name}.service @ONLY)
  install(FILES ${TELVAR_UNIT_BUILD_DIR}/${name}.service DESTINATION ${TELVAR_SYSTEMD_UNIT_DIR}
          COMPONENT ${component})
endfunction()

telvar_service(telvar-exporter exporter)
telvar_service(telvard watcher)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/watcher/telvard.conf DESTINATION ${conf_destination} COMPONENT watcher)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/watcher/telvard.credentials DESTINATION ${conf_destination}
        PERMISSIONS OWNER_READ OWNER_WRITE COMPONENT watcher)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/exporter/exporter.conf DESTINATION ${conf_destination} COMPONENT exporter)
# Logins: only root reads them; systemd hands them to the service.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/exporter/exporter.credentials DESTINATION ${conf_destination}
        PERMISSIONS OWNER_READ OWNER_WRITE COMPONENT exporter)
