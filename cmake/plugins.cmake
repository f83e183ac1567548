# One function adds a plug-in in every flavour whose tools are present:
#   stand-in host   <build>/standin/NAME.mexa64   (always; for the tests; in a
#                   Windows cross build NAME.mexw64, bound to libmx.dll and
#                   libmex.dll, the files that MATLAB on Windows loads)
#   GNU Octave      <build>/octave/NAME.mex       (when mkoctfile is found)
#   MATLAB          <build>/matlab/NAME.<mexext>  (when FindMatlab finds MATLAB)
# Each flavour's folder also gets the help file NAME.m, so it can go on the path as it is.
# `cmake --install` copies each flavour's plug-ins, help files and plain
# M-functions (bits_add_mfile) into a folder of its own under
# <prefix>/bits_mex/: mexa64 (the stand-in flavour: the release files),
# octave, matlab and, from the Windows cross build, mexw64.

set(BITS_MEX_DIR ${CMAKE_CURRENT_SOURCE_DIR}/mex)
set(BITS_HELP_DIR ${CMAKE_CURRENT_SOURCE_DIR}/matlab)
set(BITS_STANDIN_DIR ${CMAKE_BINARY_DIR}/standin)
set(BITS_OCTAVE_DIR ${CMAKE_BINARY_DIR}/octave)
set(BITS_MATLAB_DIR ${CMAKE_BINARY_DIR}/matlab)
set(BITS_VERSION_SCRIPT ${BITS_MEX_DIR}/mexFunction.map)
set(BITS_INSTALL_DIR ${PROJECT_NAME})

# Our own declarations of the host API (mex/include/mex.h), for the plug-ins
# of the release and the stand-in host; the Octave and MATLAB flavours take
# their host's mex.h instead.
add_library(bits_host_api INTERFACE)
target_include_directories(bits_host_api INTERFACE ${BITS_MEX_DIR}/include)

# The stand-in host: libmx and libmex of our own.
add_library(mx SHARED ${CMAKE_CURRENT_SOURCE_DIR}/tests/standin/standin_mx.cpp)
add_library(mex SHARED ${CMAKE_CURRENT_SOURCE_DIR}/tests/standin/standin_mex.cpp)
foreach(lib mx mex)
  target_link_libraries(${lib} PUBLIC bits_host_api PRIVATE bits_options)
  target_compile_definitions(${lib} PRIVATE BITS_STANDIN_BUILD)
  set_target_properties(${lib} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${BITS_STANDIN_DIR}
                                          RUNTIME_OUTPUT_DIRECTORY ${BITS_STANDIN_DIR})
endforeach()
target_link_libraries(mex PUBLIC mx ${CMAKE_DL_LIBS})

# On Windows a plug-in binds the host's DLLs through import libraries made
# from our own lists of the operations the plug-ins call (mex/libmx.def,
# mex/libmex.def), so one file loads in MATLAB and in the stand-in host alike.
if(WIN32 AND NOT MSVC)
  set(BITS_PLUGIN_SUFFIX ".mexw64")
  set(BITS_IMPORT_DIR ${CMAKE_BINARY_DIR}/import)
  set(BITS_HOST_LIBS "")
  foreach(lib mx mex)
    set(implib ${BITS_IMPORT_DIR}/lib${lib}_host.a)
    add_custom_command(OUTPUT ${implib}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${BITS_IMPORT_DIR}
                       COMMAND ${CMAKE_DLLTOOL} --input-def ${BITS_MEX_DIR}/lib${lib}.def
                               --dllname lib${lib}.dll --output-lib ${implib}
                       DEPENDS ${BITS_MEX_DIR}/lib${lib}.def VERBATIM)
    list(APPEND BITS_HOST_LIBS ${implib})
  endforeach()
  add_custom_target(host_import_libs DEPENDS ${BITS_HOST_LIBS})
else()
  set(BITS_PLUGIN_SUFFIX ".mexa64")
  set(BITS_HOST_LIBS mx mex)
endif()

# Octave, through the flags that its own mkoctfile reports.
set(BITS_HAVE_OCTAVE OFF)
if(BITS_BUILD_OCTAVE AND NOT WIN32 AND NOT BITS_SANITIZE)
  find_program(MKOCTFILE_EXECUTABLE mkoctfile)
  find_program(OCTAVE_EXECUTABLE NAMES octave-cli octave)
  if(MKOCTFILE_EXECUTABLE AND OCTAVE_EXECUTABLE)
    foreach(var OCTINCLUDEDIR OCTLIBDIR)
      execute_process(COMMAND ${MKOCTFILE_EXECUTABLE} -p ${var}
                      OUTPUT_VARIABLE OCTAVE_${var} OUTPUT_STRIP_TRAILING_WHITESPACE
                      ERROR_QUIET)
    endforeach()
    if(EXISTS "${OCTAVE_OCTINCLUDEDIR}/mex.h")
      set(BITS_HAVE_OCTAVE ON)
      message(STATUS "Octave plug-ins: ${OCTAVE_EXECUTABLE} (headers in ${OCTAVE_OCTINCLUDEDIR})")
    endif()
  endif()
  if(NOT BITS_HAVE_OCTAVE)
    message(STATUS "Octave plug-ins: skipped (mkoctfile or the Octave headers not found)")
  endif()
endif()
# `cmake --build build --target octave_plugins` builds the Octave flavour alone.
add_custom_target(octave_plugins)

# MATLAB, only through the standard module, and only when it is there.
set(BITS_HAVE_MATLAB OFF)
if(BITS_BUILD_MATLAB)
  find_package(Matlab QUIET COMPONENTS MX_LIBRARY)
  if(Matlab_FOUND)
    set(BITS_HAVE_MATLAB ON)
    message(STATUS "MATLAB plug-ins: ${Matlab_ROOT_DIR}")
  endif()
endif()

# clang links a sanitizer's (and libFuzzer's) run-time library into the
# program only, not into shared objects: a sanitized plug-in leaves its calls
# to the program that loads it, so it cannot be linked with --no-undefined.
set(BITS_NO_UNDEFINED "LINKER:--no-undefined")
if((BITS_SANITIZE OR BITS_FUZZ) AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(BITS_NO_UNDEFINED "")
endif()

function(bits_plugin_flags target)
  # plugin_openmp comes from bits_add_plugin: the OpenMP target, or empty.
  target_link_libraries(${target} PRIVATE bits_core ${plugin_openmp} ${CMAKE_DL_LIBS} ${ARGN})
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden
                                             VISIBILITY_INLINES_HIDDEN ON PREFIX "")
  if(NOT WIN32 AND NOT APPLE)
    target_link_options(${target} PRIVATE "LINKER:--version-script=${BITS_VERSION_SCRIPT}"
                                          ${BITS_NO_UNDEFINED})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${BITS_VERSION_SCRIPT})
  elseif(WIN32 AND NOT MSVC)
    # The export list is fixed by a module definition file: mexFunction only,
    # whatever the statically linked runtimes mark for export.
    target_sources(${target} PRIVATE ${BITS_MEX_DIR}/mexFunction.def)
    add_dependencies(${target} host_import_libs)
  endif()
endfunction()

# The stand-in flavour's .mexa64 are the Linux files of the release: they
# must load on every Linux that current MATLAB runs on, back to glibc 2.28
# (RHEL 8), and need nothing but the host's libmx and libmex, libc and, for
# OpenMP, libgomp. So:
# - the glibc calls whose default versions are newer are bound to older ones
#   (mex/glibc_baseline.h, included ahead of each source);
# - they are compiled without C++ exceptions: they throw none, and the host's
#   errors still unwind through them by their unwind tables, but OpenMP
#   regions would otherwise ask for the C++ runtime's personality routine;
# - libgcc's helpers (population count, 128-bit division) and anything of
#   libstdc++ are linked in statically (the version script keeps them local).
# tests/check_dependencies.cmake checks the result. Sanitizer builds are not
# releases and keep the defaults.
set(BITS_GLIBC_BASELINE OFF)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64"
   AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT BITS_SANITIZE)
  set(BITS_GLIBC_BASELINE ON)
endif()
function(bits_glibc_baseline target)
  target_compile_options(${target} PRIVATE -include ${BITS_MEX_DIR}/glibc_baseline.h -fno-exceptions)
  target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
endfunction()

# The folders under <prefix>/bits_mex that `cmake --install` fills: one per
# flavour built (the stand-in flavour's is named after its file extension).
function(bits_install_folders out)
  string(SUBSTRING ${BITS_PLUGIN_SUFFIX} 1 -1 folders)
  if(BITS_HAVE_OCTAVE)
    list(APPEND folders octave)
  endif()
  if(BITS_HAVE_MATLAB)
    list(APPEND folders matlab)
  endif()
  if(BITS_HAVE_WINDOWS)
    list(APPEND folders mexw64)
  endif()
  set(${out} ${folders} PARENT_SCOPE)
endfunction()

# Installs `files` (help files, M-functions) into every flavour's folder.
function(bits_install_beside_plugins)
  bits_install_folders(folders)
  foreach(folder ${folders})
    install(FILES ${ARGN} DESTINATION ${BITS_INSTALL_DIR}/${folder})
  endforeach()
endfunction()

# bits_add_plugin(NAME [SERIAL] [NO_WINDOWS] [LIBS lib...] [LINK lib...] [PKG_CONFIG module]
#                 [NEEDS soname...])
# builds mex/NAME.cpp in every flavour.
# SERIAL: the plug-in runs on the calling thread only and gets no OpenMP runtime.
# NO_WINDOWS: the Windows cross build leaves the plug-in out (it does not call
#   bits_add_plugin for it); the Linux build then expects no NAME.mexw64.
# LIBS: our own static libraries, linked in (and compiled into the Octave package).
# LINK: libraries of the system, linked as shared libraries in every flavour;
#   tests/CMakeLists.txt allows the release .mexa64 what they need.
# PKG_CONFIG: the pkg-config module that stands for LINK where the Octave
#   package is installed; its Makefile skips the plug-in when it is missing.
# NEEDS: the shared libraries of LINK that the release .mexa64 may need
#   (tests/check_dependencies.cmake), such as libsbml.so.5.
function(bits_add_plugin name)
  cmake_parse_arguments(ARG "SERIAL;NO_WINDOWS" "PKG_CONFIG" "LIBS;LINK;NEEDS" ${ARGN})
  set(plugin_openmp OpenMP::OpenMP_CXX)
  if(ARG_SERIAL)
    set(plugin_openmp "")
  endif()
  set(src ${BITS_MEX_DIR}/${name}.cpp)
  set(help ${BITS_HELP_DIR}/${name}.m)

  add_library(${name}_standin MODULE ${src})
  bits_plugin_flags(${name}_standin bits_host_api ${BITS_HOST_LIBS} ${ARG_LIBS} ${ARG_LINK})
  set_target_properties(${name}_standin PROPERTIES OUTPUT_NAME ${name} SUFFIX ${BITS_PLUGIN_SUFFIX}
                        LIBRARY_OUTPUT_DIRECTORY ${BITS_STANDIN_DIR})
  set_property(GLOBAL APPEND PROPERTY BITS_STANDIN_PLUGINS ${name}_standin)
  # What the Octave package's Makefile needs to know (cmake/octave_package.cmake),
  # and the dependency check (tests/CMakeLists.txt).
  set_target_properties(${name}_standin PROPERTIES BITS_SERIAL ${ARG_SERIAL} BITS_LIBS "${ARG_LIBS}"
                        BITS_PKG_CONFIG "${ARG_PKG_CONFIG}" BITS_NEEDS "${ARG_NEEDS}"
                        BITS_NO_WINDOWS ${ARG_NO_WINDOWS})
  if(BITS_GLIBC_BASELINE)
    bits_glibc_baseline(${name}_standin)
  endif()
  string(SUBSTRING ${BITS_PLUGIN_SUFFIX} 1 -1 standin_folder)
  install(TARGETS ${name}_standin LIBRARY DESTINATION ${BITS_INSTALL_DIR}/${standin_folder})
  if(ARG_NO_WINDOWS)
    bits_install_folders(folders)
    list(REMOVE_ITEM folders mexw64)
    foreach(folder ${folders})
      install(FILES ${help} DESTINATION ${BITS_INSTALL_DIR}/${folder})
    endforeach()
  else()
    bits_install_beside_plugins(${help})
  endif()
  if(BITS_HAVE_WINDOWS AND NOT ARG_NO_WINDOWS)
    install(FILES ${BITS_WINDOWS_DIR}/standin/${name}.mexw64 DESTINATION ${BITS_INSTALL_DIR}/mexw64)
  endif()

  if(BITS_HAVE_OCTAVE)
    add_library(${name}_octave MODULE ${src})
    target_include_directories(${name}_octave PRIVATE ${OCTAVE_OCTINCLUDEDIR}/.. ${OCTAVE_OCTINCLUDEDIR})
    target_link_directories(${name}_octave PRIVATE ${OCTAVE_OCTLIBDIR})
    bits_plugin_flags(${name}_octave octinterp octave ${ARG_LIBS} ${ARG_LINK})
    set_target_properties(${name}_octave PROPERTIES OUTPUT_NAME ${name} SUFFIX ".mex"
                          LIBRARY_OUTPUT_DIRECTORY ${BITS_OCTAVE_DIR})
    configure_file(${help} ${BITS_OCTAVE_DIR}/${name}.m COPYONLY)
    add_dependencies(octave_plugins ${name}_octave)
    set_property(GLOBAL APPEND PROPERTY BITS_OCTAVE_PLUGINS ${name}_octave)
    install(TARGETS ${name}_octave LIBRARY DESTINATION ${BITS_INSTALL_DIR}/octave)
  endif()

  if(BITS_HAVE_MATLAB)
    matlab_add_mex(NAME ${name}_matlab SRC ${src} OUTPUT_NAME ${name}
                   LINK_TO bits_core ${plugin_openmp} ${ARG_LIBS} ${ARG_LINK})
    set_target_properties(${name}_matlab PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${BITS_MATLAB_DIR}
                          RUNTIME_OUTPUT_DIRECTORY ${BITS_MATLAB_DIR})
    configure_file(${help} ${BITS_MATLAB_DIR}/${name}.m COPYONLY)
    install(TARGETS ${name}_matlab LIBRARY DESTINATION ${BITS_INSTALL_DIR}/matlab
                                   RUNTIME DESTINATION ${BITS_INSTALL_DIR}/matlab)
  endif()
endfunction()

# bits_add_mfile(NAME): the plain MATLAB/Octave function matlab/NAME.m, which
# goes beside the plug-ins of every flavour.
function(bits_add_mfile name)
  set(mfile ${BITS_HELP_DIR}/${name}.m)
  if(BITS_HAVE_OCTAVE)
    configure_file(${mfile} ${BITS_OCTAVE_DIR}/${name}.m COPYONLY)
  endif()
  if(BITS_HAVE_MATLAB)
    configure_file(${mfile} ${BITS_MATLAB_DIR}/${name}.m COPYONLY)
  endif()
  bits_install_beside_plugins(${mfile})
  set_property(GLOBAL APPEND PROPERTY BITS_MFILES ${name})
endfunction()
