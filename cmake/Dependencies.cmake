# Third-party packages, all from the system's package manager (scripts/deps.sh
# installs them). Header-only ones are found the same way on every platform.
find_package(Threads REQUIRED)

if(VELPO_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(VELPO_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()

find_package(CLI11 CONFIG QUIET)
find_package(nlohmann_json 3 CONFIG QUIET)
find_path(VELPO_STB_INCLUDE_DIR stb/stb_image_write.h PATHS /usr/include)
