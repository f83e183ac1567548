# bits_find_system_library(NAME what OPTION var DOC text MODULE pkg HEADER header
#                          LIBRARY lib TARGET target HAVE var DEBIAN package)
# finds a library of the system for the plug-in (or program) NAME: the
# pkg-config module MODULE, or else HEADER and LIBRARY where CMake finds
# them. Sets HAVE (in the caller's scope) and, when found, makes the
# interface target TARGET that links it. The option OPTION (default ON)
# turns the search off. Never on Windows: the MinGW-w64 cross build here has
# none of these libraries.
#
# A library that is half there (a pkg-config file whose folders are gone, a
# cached header or library since removed) must not fail the configure, as
# an imported target with a missing include folder would: each answer is
# checked on the disk, at every configure, before anything links it.
function(bits_find_system_library)
  cmake_parse_arguments(ARG "" "NAME;OPTION;DOC;MODULE;HEADER;LIBRARY;TARGET;HAVE;DEBIAN" "" ${ARGN})
  set(${ARG_HAVE} OFF PARENT_SCOPE)
  option(${ARG_OPTION} "${ARG_DOC}" ON)
  if(NOT ${ARG_OPTION})
    message(STATUS "${ARG_NAME}: skipped (${ARG_OPTION} is OFF)")
    return()
  endif()
  if(WIN32)
    message(STATUS "${ARG_NAME}: skipped on Windows (no ${ARG_MODULE} for MinGW-w64 here)")
    return()
  endif()
  set(pc BITS_PC_${ARG_TARGET})
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(${pc} QUIET IMPORTED_TARGET GLOBAL ${ARG_MODULE})
  endif()
  add_library(${ARG_TARGET} INTERFACE)
  if(${pc}_FOUND)
    set(missing "")
    foreach(path ${${pc}_INCLUDE_DIRS} ${${pc}_LINK_LIBRARIES})
      if(IS_ABSOLUTE "${path}" AND NOT EXISTS "${path}")
        list(APPEND missing ${path})
      endif()
    endforeach()
    if(NOT missing)
      target_link_libraries(${ARG_TARGET} INTERFACE PkgConfig::${pc})
      set(${ARG_HAVE} ON PARENT_SCOPE)
      message(STATUS "${ARG_NAME}: ${ARG_MODULE} ${${pc}_VERSION} (pkg-config)")
      return()
    endif()
    string(REPLACE ";" ", " missing "${missing}")
    message(STATUS "${ARG_NAME}: pkg-config's ${ARG_MODULE} names ${missing}, not there; "
                   "looking for ${ARG_HEADER} and the library itself")
  endif()
  # Answers cached before the files went are looked for again.
  if(BITS_${ARG_TARGET}_INCLUDE_DIR AND NOT EXISTS "${BITS_${ARG_TARGET}_INCLUDE_DIR}/${ARG_HEADER}")
    unset(BITS_${ARG_TARGET}_INCLUDE_DIR CACHE)
  endif()
  if(BITS_${ARG_TARGET}_LIBRARY AND NOT EXISTS "${BITS_${ARG_TARGET}_LIBRARY}")
    unset(BITS_${ARG_TARGET}_LIBRARY CACHE)
  endif()
  find_path(BITS_${ARG_TARGET}_INCLUDE_DIR ${ARG_HEADER})
  find_library(BITS_${ARG_TARGET}_LIBRARY ${ARG_LIBRARY})
  if(BITS_${ARG_TARGET}_INCLUDE_DIR AND BITS_${ARG_TARGET}_LIBRARY)
    target_include_directories(${ARG_TARGET} INTERFACE ${BITS_${ARG_TARGET}_INCLUDE_DIR})
    target_link_libraries(${ARG_TARGET} INTERFACE ${BITS_${ARG_TARGET}_LIBRARY})
    set(${ARG_HAVE} ON PARENT_SCOPE)
    message(STATUS "${ARG_NAME}: ${BITS_${ARG_TARGET}_LIBRARY}")
  else()
    message(STATUS "${ARG_NAME}: skipped (${ARG_MODULE} not found; Debian: ${ARG_DEBIAN})")
  endif()
endfunction()
