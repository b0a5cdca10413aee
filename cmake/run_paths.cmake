# Installed programs find libtelvar.so through a run path relative to their own folder
# ($ORIGIN/../lib, or the multiarch folder), so that a tree installed under any prefix starts
# from there without LD_LIBRARY_PATH. Installed to the system's own prefix (/usr, the Debian
# packages) the library lies where the loader looks anyway, and no run path is written.
file(RELATIVE_PATH TELVAR_BIN_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(CMAKE_SKIP_INSTALL_RPATH ON)
else()
  set(CMAKE_INSTALL_RPATH "\$ORIGIN/${TELVAR_BIN_TO_LIB}")
endif()
