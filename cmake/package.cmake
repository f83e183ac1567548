# The "package" target: one archive for users who do not build, with every
# plug-in built here (<name>.mexa64 and, with the cross compiler, <name>.mexw64),
# the help files of matlab/, the page on using the plug-ins (docs/plugins.md) and LICENSE, and
# in a folder octave/ the Octave builds (<name>.mex) with the help files again:
#   cmake --build build --target package   ->   build/bits_mex-<version>.zip
# The target is defined once every plug-in has been added.
function(bits_add_package)
  get_property(targets GLOBAL PROPERTY BITS_STANDIN_PLUGINS)
  get_property(octave_targets GLOBAL PROPERTY BITS_OCTAVE_PLUGINS)
  set(files "")
  set(octave_files "")
  set(deps ${targets} ${octave_targets})
  foreach(target ${octave_targets})
    list(APPEND octave_files $<TARGET_FILE:${target}>)
  endforeach()
  if(NOT octave_targets)
    message(STATUS "package: no Octave plug-ins (none in this build)")
  endif()
  foreach(target ${targets})
    list(APPEND files $<TARGET_FILE:${target}>)
    get_target_property(no_windows ${target} BITS_NO_WINDOWS)
    if(BITS_HAVE_WINDOWS AND NOT no_windows)
      string(REGEX REPLACE "_standin$" "" name ${target})
      list(APPEND files ${BITS_WINDOWS_DIR}/standin/${name}.mexw64)
    endif()
  endforeach()
  if(BITS_HAVE_WINDOWS)
    list(APPEND deps windows)
  else()
    message(STATUS "package: Linux plug-ins only (no Windows cross build)")
  endif()
  string(REPLACE ";" "|" files "${files}")
  string(REPLACE ";" "|" octave_files "${octave_files}")
  set(name ${PROJECT_NAME}-${PROJECT_VERSION})
  add_custom_target(package
    COMMAND ${CMAKE_COMMAND} -DNAME=${name} -DWORK_DIR=${CMAKE_BINARY_DIR}/package
            -DARCHIVE=${CMAKE_BINARY_DIR}/${name}.zip "-DFILES=${files}" "-DOCTAVE_FILES=${octave_files}"
            -DHELP_DIR=${PROJECT_SOURCE_DIR}/matlab -DREADME=${PROJECT_SOURCE_DIR}/docs/plugins.md
            -DLICENSE=${PROJECT_SOURCE_DIR}/LICENSE
            -P ${PROJECT_SOURCE_DIR}/cmake/make_package.cmake
    DEPENDS ${deps}
    COMMENT "Packing ${name}.zip"
    VERBATIM)
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL bits_add_package)

# The Octave package (bits_mex-<version>.tar.gz for pkg install).
include(${CMAKE_CURRENT_LIST_DIR}/octave_package.cmake)
