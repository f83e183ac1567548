# The Octave package: build/bits_mex-<version>.tar.gz (target octave_package,
# part of the default build, which only copies files), in the layout that
# Octave's `pkg install` takes:
#   DESCRIPTION, INDEX, COPYING (the repository's LICENSE)
#   inst/  the help files and the plain M-functions
#   src/   the entries (mex/), the kernels (core/) and a Makefile that builds
#          every plug-in with `mkoctfile --mex`
# Octave users then build and install it with `pkg install bits_mex-<version>.tar.gz`.
# DESCRIPTION, INDEX and the Makefile are written here from the plug-ins
# added; cmake/make_octave_package.cmake assembles and packs the folder.
set(BITS_OCTAVE_PACKAGE_DIR ${CMAKE_CURRENT_LIST_DIR}/octave_package)

function(bits_add_octave_package)
  if(CMAKE_CROSSCOMPILING)
    return()
  endif()
  get_property(targets GLOBAL PROPERTY BITS_STANDIN_PLUGINS)
  get_property(mfiles GLOBAL PROPERTY BITS_MFILES)
  set(work ${CMAKE_BINARY_DIR}/octave_package)
  set(name ${PROJECT_NAME}-${PROJECT_VERSION})
  set(archive ${CMAKE_BINARY_DIR}/${name}.tar.gz)

  set(names "")
  set(OPENMP_PLUGINS "")
  set(SERIAL_PLUGINS "")
  set(OBJECT_RULES "")
  set(PKG_CONFIG_RULES "")
  set(sources "")
  set(objects "")
  foreach(target ${targets})
    string(REGEX REPLACE "_standin$" "" plugin ${target})
    list(APPEND names ${plugin})
    list(APPEND sources mex/${plugin}.cpp)
    get_target_property(serial ${target} BITS_SERIAL)
    get_target_property(module ${target} BITS_PKG_CONFIG)
    if(module)
      # Built only where pkg-config finds the library it needs (sbml_read:
      # libsbml); skipped with a note otherwise, and the install goes on.
      if(serial)
        set(openmp "")
      else()
        set(openmp " -fopenmp")
      endif()
      string(APPEND PKG_CONFIG_RULES
             "ifeq ($(shell $(PKG_CONFIG) --exists ${module} && echo yes),yes)\n"
             "all: $(INST)/${plugin}.mex\n"
             "else\n"
             "$(info ${plugin} skipped: pkg-config finds no ${module})\n"
             "endif\n"
             "$(INST)/${plugin}.mex: mex/${plugin}.cpp $(HEADERS)\n"
             "\t$(MKOCTFILE) --mex $(FLAGS)${openmp} $(shell $(PKG_CONFIG) --cflags-only-I ${module}) -o $@ $< "
             "$(shell $(PKG_CONFIG) --libs ${module})\n")
    elseif(serial)
      string(APPEND SERIAL_PLUGINS " ${plugin}")
    else()
      string(APPEND OPENMP_PLUGINS " ${plugin}")
    endif()
    # A library that the plug-in links (bits_ratio) becomes objects made
    # from its sources with its own compile options.
    get_target_property(libs ${target} BITS_LIBS)
    foreach(lib ${libs})
      get_target_property(lib_sources ${lib} SOURCES)
      get_target_property(lib_options ${lib} COMPILE_OPTIONS)
      if(NOT lib_options)
        set(lib_options "")
      endif()
      string(REPLACE ";" " " lib_options "${lib_options}")
      foreach(source ${lib_sources})
        get_filename_component(object ${source} NAME_WE)
        string(APPEND OBJECT_RULES "$(INST)/${plugin}.mex: ${object}.o\n")
        if(NOT object IN_LIST objects)
          list(APPEND objects ${object})
          string(APPEND OBJECT_RULES "${object}.o: ${source} $(HEADERS)\n"
                                     "\t$(MKOCTFILE) -c $(FLAGS) ${lib_options} -o $@ $<\n")
        endif()
      endforeach()
    endforeach()
  endforeach()
  string(STRIP "${OPENMP_PLUGINS}" OPENMP_PLUGINS)
  string(STRIP "${SERIAL_PLUGINS}" SERIAL_PLUGINS)
  configure_file(${BITS_OCTAVE_PACKAGE_DIR}/Makefile.in ${work}/generated/Makefile @ONLY)
  string(TIMESTAMP BITS_PACKAGE_DATE "%Y-%m-%d" UTC)
  configure_file(${BITS_OCTAVE_PACKAGE_DIR}/DESCRIPTION.in ${work}/generated/DESCRIPTION @ONLY)
  list(JOIN names " " plugin_line)
  list(JOIN mfiles " " mfile_line)
  file(WRITE ${work}/generated/INDEX
       "${PROJECT_NAME} >> Packed-pattern plug-ins for MATLAB and GNU Octave\n"
       "Plug-ins\n ${plugin_line}\nFunctions\n ${mfile_line}\n")

  # Everything under src/: the entries, the kernels and the host layer; not
  # mex/include (<mex.h> must be Octave's own) nor what only the release
  # .mexa64 use (mex/glibc_baseline.h).
  file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}
       ${PROJECT_SOURCE_DIR}/core/* ${PROJECT_SOURCE_DIR}/mex/*.h)
  list(REMOVE_ITEM headers mex/glibc_baseline.h)
  list(APPEND sources ${headers})
  set(inst "")
  foreach(mfile ${names} ${mfiles})
    list(APPEND inst ${BITS_HELP_DIR}/${mfile}.m)
  endforeach()
  list(TRANSFORM sources PREPEND ${PROJECT_SOURCE_DIR}/ OUTPUT_VARIABLE source_paths)
  string(REPLACE ";" "|" src_arg "${sources}")
  string(REPLACE ";" "|" inst_arg "${inst}")
  add_custom_command(OUTPUT ${archive}
    COMMAND ${CMAKE_COMMAND} -DNAME=${name} -DWORK_DIR=${work}/stage -DARCHIVE=${archive}
            -DSOURCE_DIR=${PROJECT_SOURCE_DIR} "-DSOURCES=${src_arg}" "-DINST=${inst_arg}"
            -DGENERATED_DIR=${work}/generated -DLICENSE=${PROJECT_SOURCE_DIR}/LICENSE
            -P ${PROJECT_SOURCE_DIR}/cmake/make_octave_package.cmake
    DEPENDS ${source_paths} ${inst} ${PROJECT_SOURCE_DIR}/LICENSE
            ${work}/generated/Makefile ${work}/generated/DESCRIPTION ${work}/generated/INDEX
            ${PROJECT_SOURCE_DIR}/cmake/make_octave_package.cmake
    COMMENT "Packing ${name}.tar.gz (Octave package)"
    VERBATIM)
  add_custom_target(octave_package ALL DEPENDS ${archive})
  set_property(GLOBAL PROPERTY BITS_OCTAVE_PACKAGE ${archive})
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL bits_add_octave_package)
