# cmake -DMISSING="part, part" -P check_parts.cmake
# Fails, naming them, when parts of the build are missing from the full test run.
if(MISSING)
  message(FATAL_ERROR "Not built, so not tested: ${MISSING}. scripts/deps test installs what they need.")
endif()
message(STATUS "Every optional part was built.")
