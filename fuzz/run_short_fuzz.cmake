# Runs the fuzzer RUNS times from the seed corpus, with a fixed seed, in a
# fresh working directory (new inputs and any crash land there, never in the
# source tree).  Fails when the fuzzer reports a crash.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus)
execute_process(
  COMMAND ${FUZZER} -runs=${RUNS} -seed=1 -max_len=4096 -timeout=60 -rss_limit_mb=4096
          -dict=${DICTIONARY} -artifact_prefix=${WORK}/ ${WORK}/corpus ${SEEDS}
  WORKING_DIRECTORY ${WORK}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the fuzzer found a problem (exit ${result}); the input is in ${WORK}")
endif()
