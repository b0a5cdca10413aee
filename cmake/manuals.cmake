# The manual pages: sections 1 and 8 for every program we install (written by hand, in docs/), section 3
# for the library, generated from the public headers and docs/api/*.page by
# scripts/api_pages.py (one page per family, a link per function, global and record name).
# Both are installed compressed, as man-db and the Debian packages expect.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
set(TELVAR_MAN_DIR ${CMAKE_BINARY_DIR}/man)

# Each page goes into the component of its program: PAGE:COMPONENT.
# Sections 1 and 8 (the watcher), by the page's name.
set(man_pages docs/telvar.1:tools docs/man/tvlsw-host.1:tools docs/man/switchsim.1:simulator
    docs/man/telvar-exporter.1:exporter docs/man/telvard.8:watcher)
set(man_out "")
foreach(entry IN LISTS man_pages)
  string(REPLACE ":" ";" entry ${entry})
  list(GET entry 0 page)
  list(GET entry 1 component)
  set(page ${CMAKE_SOURCE_DIR}/${page})
  get_filename_component(name ${page} NAME)
  string(REGEX REPLACE ".*\\.([0-9])$" "\\1" section ${name})
  add_custom_command(OUTPUT ${TELVAR_MAN_DIR}/man${section}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TELVAR_MAN_DIR}/man${section}
    COMMAND sh -c "gzip -9nc \"$0\" > \"$1\"" ${page} ${TELVAR_MAN_DIR}/man${section}/${name}.gz
    DEPENDS ${page} VERBATIM)
  list(APPEND man_out ${TELVAR_MAN_DIR}/man${section}/${name}.gz)
  install(FILES ${TELVAR_MAN_DIR}/man${section}/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
endforeach()

file(GLOB api_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/api/*.page ${CMAKE_SOURCE_DIR}/include/telvar/*.h)
add_custom_command(OUTPUT ${TELVAR_MAN_DIR}/man3/libtelvar.3.gz
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/api_pages.py ${CMAKE_SOURCE_DIR}/include/telvar
          ${CMAKE_SOURCE_DIR}/docs/api ${PROJECT_VERSION} ${TELVAR_MAN_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/api_pages.py ${api_sources}
  COMMENT "Generating the library's section-3 manual pages" VERBATIM)
add_custom_target(manuals ALL DEPENDS ${man_out} ${TELVAR_MAN_DIR}/man3/libtelvar.3.gz)

install(DIRECTORY ${TELVAR_MAN_DIR}/man3 DESTINATION ${CMAKE_INSTALL_MANDIR} COMPONENT dev)
