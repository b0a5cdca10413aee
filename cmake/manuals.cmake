# The manual pages: section 1 for every program we install (written by hand, in docs/), section 3
# for the library, generated from the public headers and docs/api/*.page by
# scripts/api_pages.py (one page per family, a link per function, global and record name).
# Both are installed compressed, as man-db and the Debian packages expect.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
set(TELVAR_MAN_DIR ${CMAKE_BINARY_DIR}/man)

# Each page goes into the component of its program: PAGE:COMPONENT.
set(man1_pages docs/telvar.1:tools docs/man/tvlsw-host.1:tools docs/man/switchsim.1:simulator
    docs/man/telvar-exporter.1:exporter)
set(man1_out "")
foreach(entry IN LISTS man1_pages)
  string(REPLACE ":" ";" entry ${entry})
  list(GET entry 0 page)
  list(GET entry 1 component)
  set(page ${CMAKE_SOURCE_DIR}/${page})
  get_filename_component(name ${page} NAME)
  add_custom_command(OUTPUT ${TELVAR_MAN_DIR}/man1/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TELVAR_MAN_DIR}/man1
    COMMAND sh -c "gzip -9nc \"$0\" > \"$1\"" ${page} ${TELVAR_MAN_DIR}/man1/${name}.gz
    DEPENDS ${page} VERBATIM)
  list(APPEND man1_out ${TELVAR_MAN_DIR}/man1/${name}.gz)
  install(FILES ${TELVAR_MAN_DIR}/man1/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endforeach()

file(GLOB api_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/api/*.page ${CMAKE_SOURCE_DIR}/include/telvar/*.h)
add_custom_command(OUTPUT ${TELVAR_MAN_DIR}/man3/libtelvar.3.gz
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/api_pages.py ${CMAKE_SOURCE_DIR}/include/telvar
          ${CMAKE_SOURCE_DIR}/docs/api ${PROJECT_VERSION} ${TELVAR_MAN_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/api_pages.py ${api_sources}
  COMMENT "Generating the library's section-3 manual pages" VERBATIM)
add_custom_target(manuals ALL DEPENDS ${man1_out} ${TELVAR_MAN_DIR}/man3/libtelvar.3.gz)

install(DIRECTORY ${TELVAR_MAN_DIR}/man3 DESTINATION ${CMAKE_INSTALL_MANDIR} COMPONENT dev)
