# cmake -DARCHIVE=x.tar.gz|x.zip -DMEMBER=dir/COPYING -DLICENSE=LICENSE -DWORK_DIR=...
#       -P check_license.cmake
# The file MEMBER of ARCHIVE has the text of LICENSE, byte for byte.
cmake_minimum_required(VERSION 3.20)
if(NOT EXISTS ${ARCHIVE})
  message(FATAL_ERROR "check_license: ${ARCHIVE} has not been built")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
file(ARCHIVE_EXTRACT INPUT ${ARCHIVE} DESTINATION ${WORK_DIR} PATTERNS ${MEMBER})
if(NOT EXISTS ${WORK_DIR}/${MEMBER})
  message(FATAL_ERROR "check_license: ${ARCHIVE} has no ${MEMBER}")
endif()
file(READ ${WORK_DIR}/${MEMBER} packed HEX)
file(READ ${LICENSE} license HEX)
if(NOT packed STREQUAL license)
  message(FATAL_ERROR "check_license: ${MEMBER} of ${ARCHIVE} differs from ${LICENSE}")
endif()
message(STATUS "check_license: ${MEMBER} of ${ARCHIVE} is ${LICENSE}")
