# Windows plug-ins from a Linux build: when Debian's MinGW-w64 cross compiler
# is found, the same source tree is configured with cmake/mingw-w64-x86_64.cmake
# into <build>/windows and built with the rest (every plug-in as .mexw64, the
# stand-in host as libmx.dll and libmex.dll, the test programs as .exe). When
# Wine is found too, tests/CMakeLists.txt runs the Windows test programs under
# it (ctest label "windows"). Without the tools all of this is skipped, and
# so it is in sanitizer builds, which are about the Linux plug-ins.
option(BITS_BUILD_WINDOWS "Cross-build the Windows plug-ins when MinGW-w64 is found" ON)

set(BITS_HAVE_WINDOWS OFF)
set(BITS_HAVE_WINE OFF)
set(BITS_WINDOWS_WANTED OFF)
if(BITS_BUILD_WINDOWS AND NOT WIN32 AND NOT CMAKE_CROSSCOMPILING AND NOT BITS_SANITIZE)
  set(BITS_WINDOWS_WANTED ON)
endif()
if(BITS_WINDOWS_WANTED)
  find_program(BITS_MINGW_CXX x86_64-w64-mingw32-g++-posix)
  find_program(BITS_MINGW_OBJDUMP x86_64-w64-mingw32-objdump)
  find_program(BITS_MINGW_DLLTOOL x86_64-w64-mingw32-dlltool)
  if(BITS_MINGW_CXX AND BITS_MINGW_OBJDUMP AND BITS_MINGW_DLLTOOL)
    set(BITS_HAVE_WINDOWS ON)
  endif()
  find_program(BITS_WINE64 wine64 HINTS /usr/lib/wine /usr/lib64/wine)
  find_program(BITS_WINESERVER NAMES wineserver64 wineserver HINTS /usr/lib/wine /usr/lib64/wine)
  set(BITS_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows test programs")
  if(BITS_HAVE_WINDOWS AND BITS_BUILD_TESTS AND BITS_WINE64 AND BITS_WINESERVER
     AND EXISTS ${BITS_GTEST_SOURCE_DIR}/googletest/CMakeLists.txt)
    set(BITS_HAVE_WINE ON)
  endif()
endif()

set(BITS_WINDOWS_DIR ${CMAKE_BINARY_DIR}/windows)
if(BITS_HAVE_WINDOWS)
  message(STATUS "Windows plug-ins: ${BITS_MINGW_CXX} into ${BITS_WINDOWS_DIR}")
  if(BITS_HAVE_WINE)
    message(STATUS "Windows tests: under ${BITS_WINE64}")
  else()
    message(STATUS "Windows tests: skipped (wine64, wineserver or ${BITS_GTEST_SOURCE_DIR} not found)")
  endif()
  include(ExternalProject)
  ExternalProject_Add(windows
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${BITS_WINDOWS_DIR}
    PREFIX ${CMAKE_BINARY_DIR}/windows-project
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
               -DBITS_BUILD_TESTS=${BITS_HAVE_WINE}
               -DBITS_GTEST_SOURCE_DIR=${BITS_GTEST_SOURCE_DIR}
               -DBITS_BUILD_OCTAVE=OFF -DBITS_BUILD_MATLAB=OFF
               -DBITS_SIMD_KERNELS=${BITS_SIMD_KERNELS}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
elseif(BITS_WINDOWS_WANTED)
  message(STATUS "Windows plug-ins: skipped (x86_64-w64-mingw32-g++-posix not found)")
endif()

# The Windows build itself: GoogleTest from its sources, built by the same
# cross compiler. Its test programs are run by the Linux build, so test
# discovery (which would run them here) is left out.
function(bits_cross_gtest)
  function(gtest_discover_tests)
  endfunction()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${BITS_GTEST_SOURCE_DIR}/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(lib gtest gtest_main)
    # Its own warnings are not ours to fix.
    target_compile_options(${lib} PRIVATE -w)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
endfunction()

# In the Linux build, the checks of the Windows files and, with Wine, the
# Windows test programs run under it. Called from tests/CMakeLists.txt.
function(bits_add_windows_tests)
  if(NOT BITS_HAVE_WINDOWS)
    return()
  endif()
  get_property(targets GLOBAL PROPERTY BITS_STANDIN_PLUGINS)
  set(files "")
  foreach(target ${targets})
    get_target_property(no_windows ${target} BITS_NO_WINDOWS)
    if(no_windows)  # left out of the Windows build (sbml_read)
      continue()
    endif()
    string(REGEX REPLACE "_standin$" "" name ${target})
    set(file ${BITS_WINDOWS_DIR}/standin/${name}.mexw64)
    list(APPEND files ${file})
    add_test(NAME windows.exports.${name}
             COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${BITS_MINGW_OBJDUMP} -DFILE=${file}
                     -P ${PROJECT_SOURCE_DIR}/tests/windows/check_pe_tables.cmake)
    set_tests_properties(windows.exports.${name} PROPERTIES LABELS windows)
  endforeach()
  # The check itself turns away a DLL with more exports: the stand-in libmex.
  add_test(NAME windows.exports.check_rejects
           COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${BITS_MINGW_OBJDUMP} -DFILE=${BITS_WINDOWS_DIR}/standin/libmex.dll
                   -P ${PROJECT_SOURCE_DIR}/tests/windows/check_pe_tables.cmake)
  set_tests_properties(windows.exports.check_rejects PROPERTIES LABELS windows
                       PASS_REGULAR_EXPRESSION "only mexFunction is allowed")
  string(REPLACE ";" "|" file_list "${files}")
  add_test(NAME windows.host_imports
           COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${BITS_MINGW_OBJDUMP} -DFILES=${file_list}
                   -DDEF_DIR=${PROJECT_SOURCE_DIR}/mex
                   -P ${PROJECT_SOURCE_DIR}/tests/windows/check_host_imports.cmake)
  set_tests_properties(windows.host_imports PROPERTIES LABELS windows)

  if(NOT BITS_HAVE_WINE)
    return()
  endif()
  # One throwaway Wine prefix per build, made once; its server is stopped
  # after the Windows tests.
  set(run ${PROJECT_SOURCE_DIR}/tests/windows/wine_run.sh)
  set(env "WINEPREFIX=${BITS_WINDOWS_DIR}/wineprefix"
          "BITS_WINE=${BITS_WINE64}" "BITS_WINESERVER=${BITS_WINESERVER}"
          "WINEPATH=Z:${BITS_WINDOWS_DIR}/standin"
          "BITS_PLUGIN_DIR=Z:${BITS_WINDOWS_DIR}/standin")
  set(logs ${BITS_WINDOWS_DIR}/logs)
  add_test(NAME windows.wine_prefix COMMAND ${run} init ${logs}/wineboot.log 300)
  add_test(NAME windows.wine_stop COMMAND ${run} stop ${logs}/wineserver.log 60)
  set_tests_properties(windows.wine_prefix PROPERTIES FIXTURES_SETUP wine)
  set_tests_properties(windows.wine_stop PROPERTIES FIXTURES_CLEANUP wine)
  foreach(program kernel_tests plugin_tests)
    add_test(NAME windows.${program}
             COMMAND ${run} run ${logs}/${program}.log 600 ${BITS_WINDOWS_DIR}/tests/${program}.exe)
  endforeach()
  # As in the Linux build, the plug-in tests of the vector kernels once per path.
  set(path_tests "")
  foreach(path ${BITS_SIMD_PATHS})
    set(test windows.plugin_tests.simd_${path})
    add_test(NAME ${test}
             COMMAND ${run} run ${logs}/plugin_tests_simd_${path}.log 600
                     ${BITS_WINDOWS_DIR}/tests/plugin_tests.exe --gtest_filter=${BITS_VECTOR_PLUGIN_TESTS})
    set_tests_properties(${test} PROPERTIES ENVIRONMENT "${env};BITS_SIMD=${path}"
                         SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
    list(APPEND path_tests ${test})
  endforeach()
  set_tests_properties(windows.kernel_tests windows.plugin_tests ${path_tests}
                       PROPERTIES FIXTURES_REQUIRED wine)
  set_tests_properties(windows.wine_prefix windows.wine_stop windows.kernel_tests windows.plugin_tests
                       PROPERTIES ENVIRONMENT "${env}")
  set_tests_properties(windows.wine_prefix windows.wine_stop windows.kernel_tests windows.plugin_tests
                       ${path_tests} PROPERTIES LABELS windows TIMEOUT 900)
endfunction()
