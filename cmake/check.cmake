# brennel-check: a mod's lists checked by a dry run of the tool's own walk.
# Included from the top CMakeLists.txt on both systems.

set(check_sources
  src/check/check.cpp
  src/check/mod_state.cpp
  src/check/presses.cpp
  src/check/advice.cpp
  src/check/checked_list.cpp
  src/check/shown_text.cpp
  src/check/unmeant_lists.cpp
  src/check/cli.cpp)
# Each system's dry run, over its own file rules.
if(WIN32)
  brennel_library(brennel_check check
    SOURCES ${check_sources} src/check/dry_run_win32.cpp
    SEES launcher lists base paths platform/system_platform.h
         platform/win32/wide_text.h platform/win32/windows_files.h
    LINKS brennel_launcher brennel_paths brennel_platform)
  add_executable(brennel-check src/app/check_main_win32.cpp)
  target_compile_options(brennel-check PRIVATE -municode)
  target_link_options(brennel-check PRIVATE -municode -s)
else()
  brennel_library(brennel_check check
    SOURCES ${check_sources} src/check/dry_run_posix.cpp
    SEES launcher lists base paths platform/system_platform.h
         platform/posix/system_disk.h
    LINKS brennel_launcher brennel_paths brennel_platform)
  add_executable(brennel-check src/app/check_main.cpp)
endif()
target_link_libraries(brennel-check PRIVATE brennel_headers brennel_check)
# The JSON report: nlohmann::json, header-only, from Debian's
# nlohmann-json3-dev. The Windows cross build takes the same header, through
# a folder that holds nothing else.
find_path(BRENNEL_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
          REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/json-include)
file(CREATE_LINK ${BRENNEL_JSON_INCLUDE}/nlohmann ${CMAKE_BINARY_DIR}/json-include/nlohmann
     SYMBOLIC)
target_include_directories(brennel_check SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/json-include)
