# Compiler and platform settings shared by every target of the tree.

# CDK_PLATFORM selects the platform layer files: foo_win32.cpp on Windows, foo_posix.cpp
# elsewhere. Subsystem folders call cdk_platform_sources() instead of testing WIN32 inline.
if(WIN32)
  set(CDK_PLATFORM win32)
else()
  set(CDK_PLATFORM posix)
endif()

add_compile_options(-Wall -Wextra -Werror)

if(WIN32)
  # Narrow Win32 calls (the A functions) throughout; nothing may pick up UNICODE by accident.
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  add_link_options(-static -static-libgcc -static-libstdc++)
  # Reproducible programs: two builds of the same tree and payload give the same bytes, so that
  # a release can be rebuilt and compared with what ships. No link time stamp, and no build
  # paths in the debug information or in __FILE__ (the log records name the file only).
  add_link_options(-Wl,--no-insert-timestamp)
  add_compile_options("-ffile-prefix-map=${PROJECT_SOURCE_DIR}=." "-ffile-prefix-map=${CMAKE_BINARY_DIR}=.")
endif()

if(CDK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# Adds <name>_${CDK_PLATFORM}.cpp for each given base name to a target.
function(cdk_platform_sources target)
  foreach(base IN LISTS ARGN)
    target_sources(${target} PRIVATE ${base}_${CDK_PLATFORM}.cpp)
  endforeach()
endfunction()

# Adds every subfolder of the current folder that has a CMakeLists.txt, so that each
# subsystem keeps its own list of sources and tests.
function(cdk_add_subdirectories)
  file(GLOB children LIST_DIRECTORIES true RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}/*")
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}/${child}" AND EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt")
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# Windows test programs of the 64-bit flavour run through Wine, in a prefix of this build tree.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8 AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CDK_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  # Built in tests/support; wine-run starts it with the prefix's server.
  set(CDK_WINE_DESKTOP_KEEPER "${CMAKE_BINARY_DIR}/tests/support/cdk-desktop-keeper.exe")
  set(CMAKE_CROSSCOMPILING_EMULATOR
    "${PROJECT_SOURCE_DIR}/scripts/wine-run;--desktop-keeper;${CDK_WINE_DESKTOP_KEEPER};${CDK_WINEPREFIX}")
endif()
