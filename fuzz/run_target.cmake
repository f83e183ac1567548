# One short run of a fuzz target for ctest -L fuzz:
#   cmake -DTARGET=exe -DCORPUS=seeds -DWORK=folder -DSECONDS=n -P run_target.cmake
# The seeds are copied into WORK first, so the run never writes to the
# source tree; what it finds (crash-*, leak-*, timeout-*) lands in WORK too.
# Fails when the target reports a finding. Temporary files of the targets
# (disk_sync's private folder) go to WORK as well.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus)
file(GLOB seeds ${CORPUS}/*)
if(seeds)
  file(COPY ${seeds} DESTINATION ${WORK}/corpus)
endif()
set(ENV{TMPDIR} ${WORK})
execute_process(COMMAND ${TARGET} -max_total_time=${SECONDS} -timeout=30 -rss_limit_mb=2048
                        -print_final_stats=1 -artifact_prefix=${WORK}/ ${WORK}/corpus
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(GLOB findings ${WORK}/crash-* ${WORK}/leak-* ${WORK}/timeout-* ${WORK}/oom-*)
  message(FATAL_ERROR "${TARGET} ended with ${status}; findings: ${findings}")
endif()
