# Which build a program is: the package version (project() is its one place) and the commit it
# was built from, "1.0.8 (git 43a0806c12ab)", with "-dirty" when the tree had changes. A build
# from a tree without git history (a source tarball) passes -DTELVAR_BUILD_ID=... itself.
# Every program we ship prints it with --version; telvar_program() gives it to one.
if(NOT DEFINED TELVAR_BUILD_ID)
  find_package(Git QUIET)
  set(TELVAR_GIT_COMMIT "")
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} describe --always --dirty --abbrev=12
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE TELVAR_GIT_COMMIT
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE git_failed)
    # A new commit configures again, so that the build does not go on naming the old one.
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path HEAD --symbolic-full-name HEAD
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE git_head
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    string(REPLACE "\n" ";" git_head "${git_head}")
    list(LENGTH git_head git_head_parts)
    if(git_head_parts EQUAL 2)
      list(GET git_head 0 head_file)
      list(GET git_head 1 head_ref)
      execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path ${head_ref}
                      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE ref_file
                      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      foreach(f IN ITEMS ${head_file} ${ref_file})
        get_filename_component(f ${f} ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
        if(EXISTS ${f})
          set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${f})
        endif()
      endforeach()
    endif()
  endif()
  if(TELVAR_GIT_COMMIT STREQUAL "")
    set(TELVAR_BUILD_ID_NOW "${PROJECT_VERSION} (no commit recorded)")
  else()
    set(TELVAR_BUILD_ID_NOW "${PROJECT_VERSION} (git ${TELVAR_GIT_COMMIT})")
  endif()
else()
  set(TELVAR_BUILD_ID_NOW "${TELVAR_BUILD_ID}")
endif()

# A program we ship: it learns its build as the text TELVAR_BUILD_ID.
function(telvar_program target)
  target_compile_definitions(${target} PRIVATE TELVAR_BUILD_ID="${TELVAR_BUILD_ID_NOW}")
endfunction()
