# Runs one harness: over its corpus alone (SECONDS=0), or for SECONDS seconds
# starting from it. New inputs go to a scratch folder, never into the
# committed corpus; a crash leaves its reproducer there and fails the test.
#   cmake -DFUZZER=<harness> -DCORPUS=<dir> -DSCRATCH=<dir> -DSECONDS=<n> [-DOPTIONS=<list>] -P run_fuzzer.cmake
foreach(required FUZZER CORPUS SCRATCH SECONDS)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "run_fuzzer.cmake: ${required} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}/new" "${SCRATCH}/crashes")
if(SECONDS EQUAL 0)
  set(run -runs=0)
else()
  # A fixed seed, so that a failure here shows again on the next run.
  set(run -max_total_time=${SECONDS} -seed=1)
endif()
execute_process(
  COMMAND "${FUZZER}" ${run} ${OPTIONS} -timeout=25 -print_final_stats=1
          "-artifact_prefix=${SCRATCH}/crashes/" "${SCRATCH}/new" "${CORPUS}"
  WORKING_DIRECTORY "${SCRATCH}"
  RESULT_VARIABLE result)
file(GLOB reproducers "${SCRATCH}/crashes/*")
if(NOT result EQUAL 0 OR reproducers)
  list(JOIN reproducers "\n  " shown)
  message(FATAL_ERROR "${FUZZER} failed (${result}); reproducer:\n  ${shown}\n"
                      "Run it again with: ${FUZZER} <reproducer>")
endif()
