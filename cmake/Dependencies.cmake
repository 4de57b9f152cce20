# Third-party packages, all from the system's package manager (scripts/deps.sh
# installs them).
#
# The Windows cross build cannot search the host's /usr/include (it would pick
# up Linux C headers), so the header-only libraries are staged into a folder
# of their own and GoogleTest is built from the sources its package installs.
find_package(Threads REQUIRED)

if(CMAKE_CROSSCOMPILING AND WIN32)
  set(VELPO_STAGED_INCLUDE ${CMAKE_BINARY_DIR}/third_party/include)
  file(MAKE_DIRECTORY ${VELPO_STAGED_INCLUDE})
  foreach(dir CLI nlohmann stb)
    if(EXISTS /usr/include/${dir} AND NOT EXISTS ${VELPO_STAGED_INCLUDE}/${dir})
      file(CREATE_LINK /usr/include/${dir} ${VELPO_STAGED_INCLUDE}/${dir} SYMBOLIC)
    endif()
  endforeach()
  foreach(target CLI11::CLI11 nlohmann_json::nlohmann_json)
    add_library(${target} INTERFACE IMPORTED)
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${VELPO_STAGED_INCLUDE})
  endforeach()
  if(VELPO_BUILD_TESTS)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/third_party/googletest EXCLUDE_FROM_ALL)
    # Recent GoogleTest releases name their targets GTest::* themselves.
    foreach(name gtest gtest_main)
      if(NOT TARGET GTest::${name})
        add_library(GTest::${name} ALIAS ${name})
      endif()
    endforeach()
  endif()
else()
  if(VELPO_BUILD_TESTS)
    find_package(GTest REQUIRED)
  endif()
  if(VELPO_BUILD_BENCH)
    find_package(benchmark REQUIRED)
  endif()
  find_package(CLI11 CONFIG REQUIRED)
  find_package(nlohmann_json 3 CONFIG REQUIRED)
endif()
