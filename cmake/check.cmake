# brennel-check: a mod's lists checked by a dry run of the tool's own walk.
# Included from the top CMakeLists.txt on both systems.

add_library(brennel_check STATIC
  src/check/check.cpp
  src/check/mod_state.cpp
  src/check/presses.cpp
  src/check/lint.cpp
  src/check/advice.cpp
  src/check/shift.cpp
  src/check/shown_text.cpp
  src/check/report.cpp
  src/check/cli.cpp)
target_include_directories(brennel_check PUBLIC src/check)
target_link_libraries(brennel_check PUBLIC brennel_core)
# The JSON report: nlohmann::json, header-only, from Debian's
# nlohmann-json3-dev. The Windows cross build takes the same header, through
# a folder that holds nothing else.
find_path(BRENNEL_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
          REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/json-include)
file(CREATE_LINK ${BRENNEL_JSON_INCLUDE}/nlohmann ${CMAKE_BINARY_DIR}/json-include/nlohmann
     SYMBOLIC)
target_include_directories(brennel_check SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/json-include)

# Each system's dry run, over its own file rules.
if(WIN32)
  add_library(brennel_dry_run STATIC src/check/dry_run_win32.cpp src/check/foresee_win32.cpp)
  add_executable(brennel-check src/app/check_main_win32.cpp)
  target_compile_options(brennel-check PRIVATE -municode)
  target_link_options(brennel-check PRIVATE -municode -s)
else()
  add_library(brennel_dry_run STATIC src/check/dry_run_posix.cpp src/check/foresee_posix.cpp)
  add_executable(brennel-check src/app/check_main.cpp)
endif()
target_link_libraries(brennel_dry_run PUBLIC brennel_check brennel_platform)
target_link_libraries(brennel-check PRIVATE brennel_dry_run)
