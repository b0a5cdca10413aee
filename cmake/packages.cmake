# The Debian packages, one per install component (cmake/install.cmake), made by CPack from the
# same build as everything else: `make deb`. The version is the project's (CMakeLists.txt), the
# shared-library dependencies are found by dpkg-shlibdeps, and the documents every Debian
# package carries (copyright, changelog) come from packaging/ and CHANGELOG.md.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME telvar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "telvar maintainers <telvar@example.org>")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL lib dev tools simulator exporter watcher)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/telvar")
set(CPACK_STRIP_FILES ON)
set(exact "(= ${PROJECT_VERSION})")

# name, section, Depends beyond what dpkg-shlibdeps finds, description (summary, then the rest).
set(CPACK_DEBIAN_LIB_PACKAGE_NAME libtelvar1)
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
# The shlibs file (programs built against the library depend on this very version) and the
# trigger that runs ldconfig once per apt run, in place of CPack's maintainer scripts.
file(WRITE ${CMAKE_BINARY_DIR}/packaging/lib/shlibs "libtelvar 1 libtelvar1 ${exact}\n")
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/lib/shlibs
    ${CMAKE_SOURCE_DIR}/packaging/lib/triggers)
set(CPACK_DEBIAN_LIB_DESCRIPTION "management library for Fibre Channel fabric switches
libtelvar manages Fibre Channel fabric switches over their out-of-band IPv4
management interface (UDP): identity and chassis status, ports, zoning, the
fabric's topology and name server, diagnostics, configuration, traps.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libtelvar-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# A static link of the library also links the C++ runtime.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libtelvar1 ${exact}, libstdc++-12-dev | libstdc++-dev")
set(CPACK_DEBIAN_DEV_DESCRIPTION "management library for Fibre Channel fabric switches (development files)
The headers, the static library, pkg-config files (telvar, telvar-static), the
CMake package (find_package(telvar)) and the manual pages of the library's
operations and entry points (libtelvar(3)).")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME telvar)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION net)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libtelvar1 ${exact}")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SUGGESTS "telvar-switchsim, graphviz, bash-completion")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "command-line tool for Fibre Channel fabric switches
telvar reads and changes the switches of a Fibre Channel fabric over their
out-of-band IPv4 management interface; tvlsw-host calls the library's
diagnostic entry points by name. With bash completion and a Wireshark
dissector of the protocol.")

set(CPACK_DEBIAN_SIMULATOR_PACKAGE_NAME telvar-switchsim)
set(CPACK_DEBIAN_SIMULATOR_PACKAGE_SECTION net)
set(CPACK_DEBIAN_SIMULATOR_DESCRIPTION "simulator of a fabric of Fibre Channel switches
switchsim serves the switches' management protocol on loopback addresses for
a simulated fabric, with fault injection and packet capture, so that the
telvar tools and programs built on libtelvar run without hardware.")

set(CPACK_DEBIAN_EXPORTER_PACKAGE_NAME telvar-exporter)
set(CPACK_DEBIAN_EXPORTER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_EXPORTER_DESCRIPTION "Prometheus exporter for Fibre Channel fabric switches
telvar-exporter serves the state of Fibre Channel switches (ports, counters,
chassis, name server) as Prometheus metrics, read anew on every scrape. It
comes with a hardened systemd unit, not enabled until configured.")
set(CPACK_DEBIAN_EXPORTER_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/exporter/conffiles
    ${CMAKE_SOURCE_DIR}/packaging/exporter/postinst ${CMAKE_SOURCE_DIR}/packaging/exporter/prerm
    ${CMAKE_SOURCE_DIR}/packaging/exporter/postrm)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/exporter/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME telvar-exporter COMPONENT exporter EXCLUDE_FROM_ALL)
file(WRITE ${CMAKE_BINARY_DIR}/packaging/exporter/conffiles
  "${TELVAR_CONF_DIR}/exporter.conf\n${TELVAR_CONF_DIR}/exporter.credentials\n")

set(CPACK_DEBIAN_WATCHER_PACKAGE_NAME telvard)
set(CPACK_DEBIAN_WATCHER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_WATCHER_PACKAGE_SUGGESTS "telvar, prometheus-alertmanager, postgresql-client")
set(CPACK_DEBIAN_WATCHER_DESCRIPTION "history of Fibre Channel fabrics: every change and every trap
telvard reads Fibre Channel fabrics at an interval and records what changed
(ports, links, devices, zoning, trap configuration, chassis health) and every
trap the switches send, in SQLite or PostgreSQL, forwarding traps to syslog
and Alertmanager; telvar history, events and snapshot --at read it back.
It comes with a hardened systemd unit, not enabled until configured.")
set(CPACK_DEBIAN_WATCHER_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/watcher/conffiles
    ${CMAKE_SOURCE_DIR}/packaging/watcher/postinst ${CMAKE_SOURCE_DIR}/packaging/watcher/prerm
    ${CMAKE_SOURCE_DIR}/packaging/watcher/postrm)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/watcher/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME telvard COMPONENT watcher EXCLUDE_FROM_ALL)
file(WRITE ${CMAKE_BINARY_DIR}/packaging/watcher/conffiles
  "${TELVAR_CONF_DIR}/telvard.conf\n${TELVAR_CONF_DIR}/telvard.credentials\n")

# Every package carries the copyright and the changelog in Debian's form.
set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/debian_changelog.py
          ${CMAKE_SOURCE_DIR}/CHANGELOG.md ${PROJECT_VERSION} "${CPACK_PACKAGE_CONTACT}" ${changelog}
  DEPENDS ${CMAKE_SOURCE_DIR}/CHANGELOG.md ${CMAKE_SOURCE_DIR}/scripts/debian_changelog.py VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${changelog})
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} c)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${changelog}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${c}_PACKAGE_NAME}
          COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

include(CPack)
