# The 32-bit flavour's test programs run in a qemu-system guest with 32-bit Wine (32-bit Linux
# programs cannot run on the build machines' kernels). All programs run in one boot:
#   win32.guestImage   builds the guest image when it is missing or out of date
#                      (scripts/guest/build-image.sh; cached in ~/.cache/cdk-guest)
#   win32.guestBatch   boots the guest once and runs every program (scripts/guest/run-batch.py)
#   win32.<program>    one test per program: its exit code in the guest, with its output
# Every test has the label win32; the fixtures order them. A kernel oops, a time-out or a
# missing result fails win32.guestBatch with the batch's name, and CTest then reports every
# program's test as not run.

set(CDK_GUEST_PROGRAM_TIMEOUT 300 CACHE STRING
  "Time-out in seconds of one 32-bit test program in the guest (emulated, about 4x slower under load)")
set(CDK_GUEST_IMAGE_TIMEOUT 3600 CACHE STRING "Time-out in seconds of building the guest image")
find_program(CDK_PYTHON3 python3 PATHS /usr/bin REQUIRED)

# Writes each program's full 32-bit exit code for the guest's job.
add_executable(cdk_exit_code_runner "${PROJECT_SOURCE_DIR}/scripts/guest/exit-code-runner.c")
target_link_libraries(cdk_exit_code_runner PRIVATE shell32)

# cdk_guest_add_program(<test name> TARGET <target> [ARGS ...] [ENV VAR=value ...]
#                       [WINE_VERSION version] [TIMEOUT seconds])
# Adds a run of <target> to the guest batch and a CTest test <test name> for its result.
# WINE_VERSION sets the Windows version that Wine reports (HKCU\Software\Wine\Version) for
# this run only.
function(cdk_guest_add_program test)
  cmake_parse_arguments(A "" "TARGET;WINE_VERSION;TIMEOUT" "ARGS;ENV" ${ARGN})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT ${CDK_GUEST_PROGRAM_TIMEOUT})
  endif()
  set(args "")
  foreach(a IN LISTS A_ARGS)
    list(APPEND args "\"${a}\"")
  endforeach()
  list(JOIN args ", " args)
  set(env "")
  foreach(e IN LISTS A_ENV)
    string(FIND "${e}" "=" eq)
    string(SUBSTRING "${e}" 0 ${eq} key)
    math(EXPR eq "${eq} + 1")
    string(SUBSTRING "${e}" ${eq} -1 value)
    list(APPEND env "\"${key}\": \"${value}\"")
  endforeach()
  list(JOIN env ", " env)
  set(item "{\"name\": \"${test}\", \"program\": \"$<TARGET_FILE:${A_TARGET}>\", \"args\": [${args}], \"env\": {${env}}, \"timeout\": ${A_TIMEOUT}, \"wine_version\": \"${A_WINE_VERSION}\"}")
  set_property(GLOBAL APPEND PROPERTY CDK_GUEST_ITEMS "${item}")
  set_property(GLOBAL APPEND PROPERTY CDK_GUEST_TESTS "${test}")
  set_property(GLOBAL APPEND PROPERTY CDK_GUEST_TIMEOUT_SUM ${A_TIMEOUT})
  get_property(finish_deferred GLOBAL PROPERTY CDK_GUEST_FINISH_DEFERRED)
  if(NOT finish_deferred)
    set_property(GLOBAL PROPERTY CDK_GUEST_FINISH_DEFERRED TRUE)
    cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL cdk_guest_finish)
  endif()
endfunction()

# The batch's results: each program's output and exit code, and what a suite left.
set(CDK_GUEST_RESULTS "${CMAKE_BINARY_DIR}/guest/results")

# cdk_guest_add_suite(FOLDER <folder> FIXTURE <fixture> BUDGET <count> SECONDS_EACH <seconds>)
# Runs the folder's run-all.sh in the same boot, before the programs (run-batch.py --suite).
# The fixture's setup test writes the folder; the batch's time-out grows by count x seconds.
function(cdk_guest_add_suite)
  cmake_parse_arguments(A "" "FOLDER;FIXTURE;BUDGET;SECONDS_EACH" "" ${ARGN})
  set_property(GLOBAL PROPERTY CDK_GUEST_SUITE "${A_FOLDER}")
  set_property(GLOBAL PROPERTY CDK_GUEST_SUITE_FIXTURE "${A_FIXTURE}")
  math(EXPR seconds "${A_BUDGET} * ${A_SECONDS_EACH}")
  set_property(GLOBAL APPEND PROPERTY CDK_GUEST_TIMEOUT_SUM ${seconds})
endfunction()

# At the end of the top folder: the batch's manifest and the tests.
function(cdk_guest_finish)
  get_property(items GLOBAL PROPERTY CDK_GUEST_ITEMS)
  get_property(tests GLOBAL PROPERTY CDK_GUEST_TESTS)
  get_property(timeouts GLOBAL PROPERTY CDK_GUEST_TIMEOUT_SUM)
  list(JOIN items ",\n " content)
  set(guest "${CMAKE_BINARY_DIR}/guest")
  file(GENERATE OUTPUT "${guest}/manifest.json" CONTENT "[\n ${content}\n]\n")
  set(scripts "${PROJECT_SOURCE_DIR}/scripts/guest")

  add_test(NAME win32.guestImage COMMAND bash "${scripts}/build-image.sh")
  set_tests_properties(win32.guestImage PROPERTIES LABELS win32
    TIMEOUT ${CDK_GUEST_IMAGE_TIMEOUT} FIXTURES_SETUP cdk_guest_image RESOURCE_LOCK cdk_guest)

  # The programs run one after the other; the boot gets the sum of their time-outs and a few
  # minutes for booting and the Wine prefix's first start.
  set(batch_timeout 300)
  foreach(t IN LISTS timeouts)
    math(EXPR batch_timeout "${batch_timeout} + ${t}")
  endforeach()
  math(EXPR ctest_timeout "${batch_timeout} + 120")
  get_property(suite GLOBAL PROPERTY CDK_GUEST_SUITE)
  get_property(suite_fixture GLOBAL PROPERTY CDK_GUEST_SUITE_FIXTURE)
  set(suite_args "")
  if(suite)
    set(suite_args --suite "${suite}")
  endif()
  add_test(NAME win32.guestBatch
    COMMAND "${CDK_PYTHON3}" "${scripts}/run-batch.py" --name win32-tests
            --manifest "${guest}/manifest.json" --results "${CDK_GUEST_RESULTS}"
            --runner $<TARGET_FILE:cdk_exit_code_runner> --timeout ${batch_timeout} ${suite_args})
  set_tests_properties(win32.guestBatch PROPERTIES LABELS win32 TIMEOUT ${ctest_timeout}
    FIXTURES_REQUIRED "cdk_guest_image;${suite_fixture}" FIXTURES_SETUP cdk_guest_results
    RESOURCE_LOCK cdk_guest)

  foreach(test IN LISTS tests)
    add_test(NAME ${test}
      COMMAND "${CDK_PYTHON3}" "${scripts}/run-batch.py" --show "${CDK_GUEST_RESULTS}" "${test}")
    set_tests_properties(${test} PROPERTIES LABELS win32 TIMEOUT 30
      FIXTURES_REQUIRED cdk_guest_results)
  endforeach()
endfunction()
