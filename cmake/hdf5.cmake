# HDF5 (Debian: libhdf5-dev), for bits_modes' output file FILE.h5, when it is
# found. The header and the library are looked for, and a program using both
# must compile and link; a part that is missing or half installed leaves the
# HDF5 output out with one message. Nothing here can fail the configure: no
# imported target is made from another package's description of itself.
# Sets BITS_HAVE_HDF5 and, when found, the interface target bits_hdf5 and
# BITS_HDF5_SONAME, for the plug-in mode_file.
option(BITS_BUILD_HDF5 "Build bits_modes' HDF5 output when libhdf5 is found" ON)
set(BITS_HAVE_HDF5 OFF)
if(NOT BITS_BUILD_HDF5)
  message(STATUS "bits_modes HDF5 output: skipped (BITS_BUILD_HDF5 is OFF)")
  return()
endif()
if(WIN32)
  message(STATUS "bits_modes HDF5 output: skipped on Windows")
  return()
endif()
# Checked afresh at every configure, so that HDF5 installed (or removed)
# after the first one is picked up: answers cached before the files went
# are looked for again, and the linking test runs again.
if(BITS_HDF5_INCLUDE_DIR AND NOT EXISTS "${BITS_HDF5_INCLUDE_DIR}/hdf5.h")
  unset(BITS_HDF5_INCLUDE_DIR CACHE)
endif()
if(BITS_HDF5_LIBRARY AND NOT EXISTS "${BITS_HDF5_LIBRARY}")
  unset(BITS_HDF5_LIBRARY CACHE)
endif()
unset(BITS_HDF5_WORKS CACHE)
find_path(BITS_HDF5_INCLUDE_DIR hdf5.h PATH_SUFFIXES hdf5/serial)
find_library(BITS_HDF5_LIBRARY NAMES hdf5_serial hdf5 PATH_SUFFIXES hdf5/serial)
if(BITS_HDF5_INCLUDE_DIR AND BITS_HDF5_LIBRARY)
  include(CheckCXXSourceCompiles)
  include(CMakePushCheckState)
  cmake_push_check_state(RESET)
  set(CMAKE_REQUIRED_INCLUDES ${BITS_HDF5_INCLUDE_DIR})
  set(CMAKE_REQUIRED_LIBRARIES ${BITS_HDF5_LIBRARY})
  set(CMAKE_REQUIRED_QUIET ON)
  check_cxx_source_compiles(
    "#include <hdf5.h>
     int main() { unsigned a, b, c; return H5get_libversion(&a, &b, &c) < 0 || H5Fcreate == nullptr; }"
    BITS_HDF5_WORKS)
  cmake_pop_check_state()
endif()
if(BITS_HDF5_WORKS)
  add_library(bits_hdf5 INTERFACE)
  target_include_directories(bits_hdf5 INTERFACE ${BITS_HDF5_INCLUDE_DIR})
  target_link_libraries(bits_hdf5 INTERFACE ${BITS_HDF5_LIBRARY})
  set(BITS_HAVE_HDF5 ON)
  # The name a program that links it records (libhdf5_serial.so.103): the
  # file's real name up to the major version.
  get_filename_component(bits_hdf5_real ${BITS_HDF5_LIBRARY} REALPATH)
  get_filename_component(bits_hdf5_real ${bits_hdf5_real} NAME)
  string(REGEX REPLACE "^(.*\\.so\\.[0-9]+).*$" "\\1" BITS_HDF5_SONAME "${bits_hdf5_real}")
  message(STATUS "bits_modes HDF5 output: ${BITS_HDF5_LIBRARY}")
else()
  message(STATUS "bits_modes HDF5 output: left out (hdf5.h and a libhdf5 that links with it not found; "
                 "Debian: libhdf5-dev)")
endif()
