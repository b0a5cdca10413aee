# Installation, in components that are also the Debian packages (cmake/packages.cmake):
#   lib        the shared library                                         -> libtelvar1
#   dev        headers, static library, telvar.pc, the CMake package,
#              the section-3 pages                                        -> libtelvar-dev
#   tools      telvar, tvlsw-host, their pages, the completion, the dissector -> telvar
#   simulator  switchsim and its page                                     -> telvar-switchsim
#   exporter   telvar-exporter, its page, unit, configuration, alert rules -> telvar-exporter
#   watcher    telvard, its page, unit, configuration                   -> telvard
# `make install` installs them all.

install(TARGETS telvar EXPORT telvarTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev)
install(TARGETS telvar_static EXPORT telvarTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
# The public headers are the files of include/telvar, installed as they stand.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/telvar DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT dev FILES_MATCHING PATTERN "*.h")
install(EXPORT telvarTargets NAMESPACE telvar:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/telvar
        COMPONENT dev)

include(CMakePackageConfigHelpers)
file(WRITE ${CMAKE_BINARY_DIR}/telvarConfig.cmake
  "include(\${CMAKE_CURRENT_LIST_DIR}/telvarTargets.cmake)\n")
write_basic_package_version_file(${CMAKE_BINARY_DIR}/telvarConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/telvarConfig.cmake ${CMAKE_BINARY_DIR}/telvarConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/telvar COMPONENT dev)

# telvar.pc finds the prefix from its own folder, so that it stays right whatever prefix the
# files are installed to (cmake --install --prefix).
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(TELVAR_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH TELVAR_PC_UP "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
  string(REGEX REPLACE "/$" "" TELVAR_PC_UP "${TELVAR_PC_UP}")
  set(TELVAR_PC_PREFIX "\${pcfiledir}/${TELVAR_PC_UP}")
endif()
# What linking needs beyond the library itself: the C++ runtime for the static library, and
# the sanitizer runtimes when the library was built with them. telvar.pc links the shared
# library (its Libs.private say what the static one needs); telvar-static.pc names the archive
# itself, since a linker that finds libtelvar.so beside libtelvar.a takes the shared one.
set(TELVAR_PC_LIBS_PRIVATE "-lstdc++ -lm")
set(TELVAR_PC_LINK_FLAGS "")
if(TELVAR_SANITIZE)
  set(TELVAR_PC_LINK_FLAGS " -fsanitize=address,undefined")
endif()
foreach(pc telvar telvar-static)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/${pc}.pc.in ${CMAKE_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endforeach()

install(TARGETS telvar_tool tvlsw_host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
install(TARGETS telvar_history_tool RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/telvar COMPONENT tools)
install(TARGETS switchsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT simulator)
install(TARGETS telvar_exporter RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT exporter)
install(FILES ${TELVAR_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        COMPONENT tools)

include(cmake/manuals.cmake)
include(cmake/services.cmake)
