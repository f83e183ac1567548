# MPI, for the program bits_rays_mpi. BITS_MPI: AUTO (the default) builds it
# when a working MPI is found, ON requires MPI, OFF leaves it out. Sets
# BITS_HAVE_MPI and, when it is ON, the imported target MPI::MPI_CXX.
#
# CMake's FindMPI stops the whole configure when the MPI compiler wrapper
# names an include folder that is not there, and that is the usual state of a
# machine with Debian's octave: it brings openmpi-bin (the wrapper) without
# libopenmpi-dev (the headers). So under AUTO the wrapper first compiles and
# links a one-line MPI program; only when it can is FindMPI asked. That check
# runs at every configure, and FindMPI's cached answers are dropped whenever
# its outcome changes, so headers installed (or removed) after the first
# configure are picked up by the next one.
set(BITS_MPI AUTO CACHE STRING "Build bits_rays_mpi: ON, OFF or AUTO (when a working MPI is found)")
set_property(CACHE BITS_MPI PROPERTY STRINGS AUTO ON OFF)
set(BITS_HAVE_MPI OFF)

# bits_check_mpi_wrapper(result why): whether an MPI C++ compiler wrapper
# builds an MPI program; if not, why not (one line, with the Debian packages).
function(bits_check_mpi_wrapper result why)
  set(${result} OFF PARENT_SCOPE)
  set(packages "Debian: libopenmpi-dev openmpi-bin")
  if(MPI_CXX_COMPILER)  # the user's choice of wrapper
    set(wrapper ${MPI_CXX_COMPILER})
  else()
    unset(BITS_MPI_WRAPPER CACHE)  # looked up afresh at each configure
    find_program(BITS_MPI_WRAPPER NAMES mpicxx mpic++ mpiCC)
    set(wrapper ${BITS_MPI_WRAPPER})
  endif()
  if(NOT wrapper)
    set(${why} "no MPI compiler wrapper (mpicxx) found; ${packages}" PARENT_SCOPE)
    return()
  endif()
  set(dir ${CMAKE_BINARY_DIR}/CMakeFiles/bits_mpi_check)
  file(MAKE_DIRECTORY ${dir})
  file(WRITE ${dir}/check.cpp
       "#include <mpi.h>\nint main(int argc, char** argv) { MPI_Init(&argc, &argv); return MPI_Finalize(); }\n")
  execute_process(COMMAND ${wrapper} check.cpp -o check WORKING_DIRECTORY ${dir}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out TIMEOUT 120)
  if(NOT rc EQUAL 0)
    string(REGEX MATCH "[^\n]*(mpi\\.h|cannot find|No such file)[^\n]*" first "${out}")
    if(NOT first)
      string(REGEX MATCH "[^\n]+" first "${out}")
    endif()
    set(${why} "${wrapper} cannot build an MPI program (${first}): the MPI headers or libraries are missing; ${packages}"
        PARENT_SCOPE)
    return()
  endif()
  set(${result} ON PARENT_SCOPE)
endfunction()

if(NOT WIN32 AND NOT BITS_MPI STREQUAL "OFF")
  set(wanted ON)
  if(BITS_MPI STREQUAL "AUTO")
    bits_check_mpi_wrapper(wanted why)
    if(BITS_SANITIZE)  # the MPI library's own allocations would show
      set(wanted OFF)
      set(why "sanitized build (configure with -DBITS_MPI=ON to build it anyway)")
    endif()
  endif()
  if(DEFINED BITS_MPI_LAST_CHECK AND NOT BITS_MPI_LAST_CHECK STREQUAL wanted)
    get_cmake_property(cached CACHE_VARIABLES)
    foreach(var ${cached})
      if(var MATCHES "^_?MPI(EXEC)?_" AND NOT var STREQUAL "MPI_CXX_COMPILER" AND NOT var STREQUAL "MPI_HOME")
        unset(${var} CACHE)
      endif()
    endforeach()
  endif()
  set(BITS_MPI_LAST_CHECK ${wanted} CACHE INTERNAL "Outcome of the last MPI check")
  if(wanted)
    if(BITS_MPI STREQUAL "AUTO")
      find_package(MPI COMPONENTS CXX)
    else()
      find_package(MPI REQUIRED COMPONENTS CXX)
    endif()
    if(MPI_CXX_FOUND)
      set(BITS_HAVE_MPI ON)
      message(STATUS "bits_rays_mpi: MPI ${MPI_CXX_VERSION} (${MPI_CXX_COMPILER})")
    else()
      message(STATUS "bits_rays_mpi: skipped (CMake's FindMPI found no usable MPI; Debian: libopenmpi-dev openmpi-bin)")
    endif()
  else()
    message(STATUS "bits_rays_mpi: skipped (${why})")
  endif()
elseif(NOT WIN32)
  message(STATUS "bits_rays_mpi: skipped (BITS_MPI is OFF)")
endif()
