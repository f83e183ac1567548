# cmake -DNAME=bits_mex-<version> -DWORK_DIR=... -DARCHIVE=x.tar.gz -DSOURCE_DIR=<repository>
#       -DSOURCES="mex/a.cpp|core/b.h" -DINST="/path/a.m|..." -DGENERATED_DIR=...
#       -DLICENSE=... -P make_octave_package.cmake
# Assembles the Octave package folder NAME/ (see octave_package.cmake) and packs it as ARCHIVE.
cmake_minimum_required(VERSION 3.20)
set(dir ${WORK_DIR}/${NAME})
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${dir}/inst ${dir}/src)

file(COPY ${GENERATED_DIR}/DESCRIPTION ${GENERATED_DIR}/INDEX DESTINATION ${dir})
configure_file(${LICENSE} ${dir}/COPYING COPYONLY)
file(COPY ${GENERATED_DIR}/Makefile DESTINATION ${dir}/src)
string(REPLACE "|" ";" inst "${INST}")
file(COPY ${inst} DESTINATION ${dir}/inst)
# Sources keep their place under the repository root, so their includes
# ("core/simd.h", "mex/host_args.h") resolve from src/.
string(REPLACE "|" ";" sources "${SOURCES}")
foreach(source IN LISTS sources)
  get_filename_component(folder ${source} DIRECTORY)
  file(COPY ${SOURCE_DIR}/${source} DESTINATION ${dir}/src/${folder})
endforeach()

file(REMOVE ${ARCHIVE})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar czf ${ARCHIVE} ${NAME}
                WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "octave_package: packing ${ARCHIVE} failed")
endif()
