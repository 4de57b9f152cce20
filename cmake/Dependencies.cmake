# Third-party packages, all from the system's package manager (scripts/deps.sh
# installs them), found through their own CMake configs or pkg-config.
#
# The Windows cross build must not search the build machine's include folder
# (it would pick up Linux C headers). It takes the header-only libraries from
# the same configs, but stages only their own header folders into a folder of
# its own, and builds GoogleTest from its sources (VELPO_GOOGLETEST_SOURCE).
find_package(Threads REQUIRED)

set(VELPO_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH
    "GoogleTest's sources, built when no GoogleTest package is found (always for Windows)")

# The header-only libraries live on the build machine, also for a cross build.
find_package(CLI11 CONFIG REQUIRED NO_CMAKE_FIND_ROOT_PATH)
find_package(nlohmann_json 3 CONFIG REQUIRED NO_CMAKE_FIND_ROOT_PATH)
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(VELPO_STB QUIET stb)
endif()

# Links `folder` of the first include folder of `target` that has it into the
# staged include folder, and points the target there.
function(velpo_stage_headers target folder)
  get_target_property(includes ${target} INTERFACE_INCLUDE_DIRECTORIES)
  foreach(include IN LISTS includes)
    if(IS_DIRECTORY ${include}/${folder})
      if(NOT EXISTS ${VELPO_STAGED_INCLUDE}/${folder})
        file(CREATE_LINK ${include}/${folder} ${VELPO_STAGED_INCLUDE}/${folder} SYMBOLIC)
      endif()
      set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES
                                                 ${VELPO_STAGED_INCLUDE})
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "${target}: no folder ${folder}/ in its include folders (${includes})")
endfunction()

function(velpo_googletest_from_source)
  if(NOT EXISTS ${VELPO_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest's sources are not in ${VELPO_GOOGLETEST_SOURCE}: install "
                        "them (scripts/deps.sh win32) or set VELPO_GOOGLETEST_SOURCE")
  endif()
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${VELPO_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/third_party/googletest
                   EXCLUDE_FROM_ALL)
  # Recent GoogleTest releases name their targets GTest::* themselves.
  foreach(name gtest gtest_main)
    if(NOT TARGET GTest::${name})
      add_library(GTest::${name} ALIAS ${name})
    endif()
  endforeach()
endfunction()

# xxHash, used header-only and inline (the content hash of `velpo check`).
find_file(VELPO_XXHASH_HEADER xxhash.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
if(NOT VELPO_XXHASH_HEADER)
  message(FATAL_ERROR "xxhash.h not found (Debian: libxxhash-dev, scripts/deps.sh)")
endif()

# fmt, used header-only (FMT_HEADER_ONLY) so that the plug-in and the
# command carry no shared library of it on either platform. Its CMake config
# is the build machine's 64-bit one, which a 32-bit cross build may not use:
# there the header folder is found and staged like xxhash.h.
if(CMAKE_CROSSCOMPILING AND WIN32)
  find_path(VELPO_FMT_INCLUDE fmt/format.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
            NO_DEFAULT_PATH)
  if(NOT VELPO_FMT_INCLUDE)
    message(FATAL_ERROR "fmt/format.h not found (Debian: libfmt-dev, scripts/deps.sh)")
  endif()
else()
  find_package(fmt 9 CONFIG REQUIRED)
endif()

if(CMAKE_CROSSCOMPILING AND WIN32)
  set(VELPO_STAGED_INCLUDE ${CMAKE_BINARY_DIR}/third_party/include)
  file(MAKE_DIRECTORY ${VELPO_STAGED_INCLUDE})
  velpo_stage_headers(CLI11::CLI11 CLI)
  velpo_stage_headers(nlohmann_json::nlohmann_json nlohmann)
  # xxHash is one header, used inline (XXH_INLINE_ALL): staged alone.
  if(NOT EXISTS ${VELPO_STAGED_INCLUDE}/xxhash.h)
    file(CREATE_LINK ${VELPO_XXHASH_HEADER} ${VELPO_STAGED_INCLUDE}/xxhash.h SYMBOLIC)
  endif()
  # fmt's folder holds only fmt: staged whole, under its name.
  if(NOT EXISTS ${VELPO_STAGED_INCLUDE}/fmt)
    file(CREATE_LINK ${VELPO_FMT_INCLUDE}/fmt ${VELPO_STAGED_INCLUDE}/fmt SYMBOLIC)
  endif()
  if(VELPO_STB_FOUND)
    # stb's include folder holds only stb: staged whole, under its name.
    set(stb ${VELPO_STAGED_INCLUDE}/stb)
    if(NOT EXISTS ${stb})
      file(CREATE_LINK ${VELPO_STB_INCLUDEDIR} ${stb} SYMBOLIC)
    endif()
    set(VELPO_STB_INCLUDEDIR ${stb})
  endif()
  if(VELPO_BUILD_TESTS)
    velpo_googletest_from_source()
  endif()
else()
  if(VELPO_BUILD_TESTS)
    find_package(GTest)
    if(NOT GTest_FOUND)
      velpo_googletest_from_source()
    endif()
  endif()
  if(VELPO_BUILD_BENCH)
    find_package(benchmark REQUIRED)
  endif()
endif()

# stb, used header-only (#include <stb_image_write.h>), when it is installed.
if(VELPO_STB_FOUND)
  add_library(velpo_stb INTERFACE)
  target_include_directories(velpo_stb SYSTEM INTERFACE ${VELPO_STB_INCLUDEDIR})
endif()

add_library(velpo_xxhash INTERFACE)
if(CMAKE_CROSSCOMPILING AND WIN32)
  target_include_directories(velpo_xxhash SYSTEM INTERFACE ${VELPO_STAGED_INCLUDE})
endif()

# fmt, header-only: #include <fmt/format.h>.
add_library(velpo_fmt INTERFACE)
target_compile_definitions(velpo_fmt INTERFACE FMT_HEADER_ONLY=1)
if(CMAKE_CROSSCOMPILING AND WIN32)
  target_include_directories(velpo_fmt SYSTEM INTERFACE ${VELPO_STAGED_INCLUDE})
else()
  target_link_libraries(velpo_fmt INTERFACE fmt::fmt-header-only)
endif()
