# GoogleTest for the current target (host or MinGW), built from Debian's source package, and
# cdk_add_gtest() to declare a test program with its CTest label and time-out.

if(NOT CDK_BUILD_TESTS)
  return()
endif()

if(NOT TARGET GTest::gtest)
  set(CDK_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  # GoogleTest's own code is not held to our warning flags.
  add_subdirectory("${CDK_GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/_googletest" EXCLUDE_FROM_ALL SYSTEM)
  foreach(t gtest gtest_main gmock gmock_main)
    if(TARGET ${t})
      target_compile_options(${t} PRIVATE -Wno-error)
    endif()
  endforeach()
endif()

include(GoogleTest)

# Test programs run where they were built (host), or through Wine when the target is 64-bit
# Windows. The 32-bit Windows flavour cannot run here: its programs run in a qemu-system guest
# with 32-bit Wine instead, in one batch (cmake/CdkGuest.cmake, label win32).
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(CDK_RUN_TESTS OFF)
  option(CDK_GUEST_TESTS "Run the 32-bit test programs in the qemu guest (label win32)" ON)
  if(CDK_GUEST_TESTS)
    include(CdkGuest)
  endif()
else()
  set(CDK_RUN_TESTS ON)
  set(CDK_GUEST_TESTS OFF)
endif()
if(WIN32)
  set(CDK_TEST_LABEL wine)
else()
  set(CDK_TEST_LABEL host)
endif()

# Time-outs, so that a test that hangs costs seconds rather than minutes. Measured one at a time
# on an idle machine: every host test under 0.1 s; Wine tests 0.1-0.5 s, about 1 s for the one
# that starts the wineserver, and 0.7 s at most with both cores busy. The defaults leave wide
# room. Listing a Wine program's tests may create the prefix (6-12 s idle), hence more time.
if(WIN32)
  set(CDK_TEST_TIMEOUT 60 CACHE STRING "Default time-out in seconds of each Wine test")
  set(CDK_DISCOVERY_TIMEOUT 120)
else()
  set(CDK_TEST_TIMEOUT 30 CACHE STRING "Default time-out in seconds of each host test")
  set(CDK_DISCOVERY_TIMEOUT 30)
endif()

# cdk_add_gtest(<name> SOURCES ... [LIBS ...] [LABEL label] [TIMEOUT seconds]
#               [PROPERTIES prop value ...] [NO_MAIN])
# Builds a GoogleTest program and registers each of its tests with CTest under the label (host
# or wine by default, from the target platform) and the time-out (CDK_TEST_TIMEOUT by default);
# PROPERTIES adds further CTest properties to every test of the program.
function(cdk_add_gtest name)
  cmake_parse_arguments(A "NO_MAIN" "LABEL;TIMEOUT" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  if(NOT A_LABEL)
    set(A_LABEL ${CDK_TEST_LABEL})
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT ${CDK_TEST_TIMEOUT})
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gmock GTest::gtest)
  if(NOT A_NO_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  if(CDK_RUN_TESTS)
    gtest_discover_tests(${name}
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT ${CDK_DISCOVERY_TIMEOUT}
      PROPERTIES LABELS ${A_LABEL} TIMEOUT ${A_TIMEOUT} ${A_PROPERTIES})
  elseif(CDK_GUEST_TESTS)
    cdk_guest_add_program(win32.${name} TARGET ${name})
  endif()
endfunction()
