# cmake -DSOURCE=root -DWORK_DIR=folder -P check_half_installed.cmake
# Configures the project as on a machine where optional parts are half
# installed: an MPI compiler wrapper whose include folder is not there (as
# Debian's octave leaves openmpi-bin without libopenmpi-dev), and a
# pkg-config file of libsbml whose folders are gone. The configure must
# succeed, say that MPI is left out and why, and the rest must build.
cmake_minimum_required(VERSION 3.20)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/bin ${WORK_DIR}/pkgconfig)
set(gone ${WORK_DIR}/gone)
file(WRITE ${WORK_DIR}/bin/mpicxx
     "#!/bin/sh\ncase \"$1\" in --showme*) echo ${gone}/include ;; *) exec c++ -I${gone}/include \"$@\" ;; esac\n")
file(CHMOD ${WORK_DIR}/bin/mpicxx PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
file(WRITE ${WORK_DIR}/pkgconfig/libsbml.pc
     "prefix=${gone}\nincludedir=${gone}/include\nlibdir=${gone}/lib\nName: libsbml\nDescription: gone\n"
     "Version: 5.19.0\nLibs: -L\${libdir} -lsbml\nCflags: -I\${includedir}\n")

set(ENV{PATH} "${WORK_DIR}/bin:$ENV{PATH}")
set(ENV{PKG_CONFIG_PATH} "${WORK_DIR}/pkgconfig")
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK_DIR}/build -DCMAKE_BUILD_TYPE=Release
                        -DBITS_BUILD_TESTS=OFF -DBITS_BUILD_OCTAVE=OFF -DBITS_BUILD_MATLAB=OFF -DBITS_BUILD_WINDOWS=OFF
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "check_half_installed: the configure failed:\n${out}")
endif()
foreach(expected "bits_rays_mpi: skipped \\([^\n]*mpicxx cannot build an MPI program[^\n]*libopenmpi-dev"
                 "pkg-config's libsbml names ${gone}/include")
  if(NOT out MATCHES "${expected}")
    message(FATAL_ERROR "check_half_installed: the configure did not say \"${expected}\":\n${out}")
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build -j 2 --target bits_rays disk_sync_standin
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "check_half_installed: the build failed:\n${out}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
message(STATUS "check_half_installed: configured and built with MPI and libsbml half installed")
