# Runs one fuzzer for SECONDS on a fresh copy of its seed corpus; fails on any finding.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/corpus" "${WORK}/artifacts")
file(GLOB seeds "${SEEDS}/*")
file(COPY ${seeds} DESTINATION "${WORK}/corpus")
execute_process(
  COMMAND "${FUZZER}" -max_total_time=${SECONDS} -max_len=4096 -timeout=20 -rss_limit_mb=2048
          -artifact_prefix=${WORK}/artifacts/ "${WORK}/corpus"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} found a problem (exit ${result}); see ${WORK}/artifacts")
endif()
