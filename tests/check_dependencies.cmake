# cmake -DFILE=plugin -DLIBS="libmx.so|libmex.so|libc.so.6" -P check_dependencies.cmake
# Fails unless FILE needs no library but those of LIBS, no glibc symbol
# version newer than GLIBC_2.28 (RHEL 8) and no libgomp version newer than
# those of GCC 8 (GOMP_4.5, OMP_4.5), so that it loads on every Linux that
# current MATLAB runs on. Prints the versions it needs.
cmake_minimum_required(VERSION 3.20)
find_program(READELF readelf REQUIRED)
execute_process(COMMAND ${READELF} --dynamic --version-info --wide ${FILE}
                OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "readelf failed on ${FILE}")
endif()
string(REPLACE "|" ";" allowed "${LIBS}")
set(newest_allowed GLIBC 2.28 GOMP 4.5 OMP 4.5)

string(REPLACE "\n" ";" lines "${out}")
set(needs "")
foreach(line ${lines})
  if(line MATCHES "\\(NEEDED\\) +Shared library: \\[(.*)\\]")
    if(NOT CMAKE_MATCH_1 IN_LIST allowed)
      message(FATAL_ERROR "${FILE} needs ${CMAKE_MATCH_1}; allowed: ${allowed}")
    endif()
  # Version needs: "File: libc.so.6 ..." then one "Name: GLIBC_2.14 ..." per version.
  elseif(line MATCHES "^ *0x[0-9a-f]+: +Name: +([A-Z_]+)_([0-9.]+|PRIVATE) ")
    set(prefix ${CMAKE_MATCH_1})
    set(version ${CMAKE_MATCH_2})
    list(APPEND needs ${prefix}_${version})
    list(FIND newest_allowed ${prefix} at)
    if(NOT at EQUAL -1)
      math(EXPR at "${at} + 1")
      list(GET newest_allowed ${at} newest)
      if(version STREQUAL "PRIVATE" OR version VERSION_GREATER newest)
        message(FATAL_ERROR "${FILE} needs ${prefix}_${version}; newest allowed: ${prefix}_${newest}")
      endif()
    endif()
  endif()
endforeach()
list(SORT needs COMPARE NATURAL)
list(JOIN needs " " needs)
message(STATUS "${FILE}: needs ${needs}")
