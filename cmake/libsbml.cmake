# libsbml, for the plug-in sbml_read. Sets BITS_HAVE_LIBSBML and the
# interface target bits_libsbml; not on Windows, so the Windows flavour has
# no sbml_read.
include(${CMAKE_CURRENT_LIST_DIR}/system_library.cmake)
bits_find_system_library(NAME sbml_read OPTION BITS_BUILD_SBML DOC "Build sbml_read when libsbml is found"
                         MODULE libsbml HEADER sbml/SBMLTypes.h LIBRARY sbml TARGET bits_libsbml
                         HAVE BITS_HAVE_LIBSBML DEBIAN libsbml5-dev)
