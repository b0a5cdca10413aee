# Installation: the two libraries, the public headers, telvar.pc, a CMake package, the
# programs, the man page and the bash completion.

install(TARGETS telvar telvar_static EXPORT telvarTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
# The public headers are the files of include/telvar, installed as they stand.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/telvar DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h")
install(EXPORT telvarTargets NAMESPACE telvar:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/telvar)

include(CMakePackageConfigHelpers)
file(WRITE ${CMAKE_BINARY_DIR}/telvarConfig.cmake
  "include(\${CMAKE_CURRENT_LIST_DIR}/telvarTargets.cmake)\n")
write_basic_package_version_file(${CMAKE_BINARY_DIR}/telvarConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/telvarConfig.cmake ${CMAKE_BINARY_DIR}/telvarConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/telvar)

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
# the sanitizer runtimes when the library was built with them.
set(TELVAR_PC_LIBS_PRIVATE "-lstdc++")
set(TELVAR_PC_LINK_FLAGS "")
if(TELVAR_SANITIZE)
  set(TELVAR_PC_LINK_FLAGS " -fsanitize=address,undefined")
endif()
configure_file(${CMAKE_SOURCE_DIR}/cmake/telvar.pc.in ${CMAKE_BINARY_DIR}/telvar.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/telvar.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

foreach(prog IN LISTS TELVAR_PROGRAMS)
  install(TARGETS ${prog} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()
if(EXISTS ${CMAKE_SOURCE_DIR}/docs/telvar.1)
  install(FILES ${CMAKE_SOURCE_DIR}/docs/telvar.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES ${TELVAR_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
