# GMP, for big_rays and the command-line program's integers of any size.
# Sets BITS_HAVE_GMP and the interface target bits_gmp (not on Windows).
include(${CMAKE_CURRENT_LIST_DIR}/system_library.cmake)
bits_find_system_library(NAME big_rays OPTION BITS_BUILD_GMP
                         DOC "Build big_rays (integers of any size) when GMP is found"
                         MODULE gmp HEADER gmp.h LIBRARY gmp TARGET bits_gmp HAVE BITS_HAVE_GMP
                         DEBIAN libgmp-dev)
