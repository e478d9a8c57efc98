# The test suites of the Windows build, run under wine. Included from
# tests/CMakeLists.txt when WIN32.

# GoogleTest from the sources of Debian's googletest package, built with mingw.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_library(brennel_test_support INTERFACE)
target_include_directories(brennel_test_support INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(brennel_test_support INTERFACE brennel_headers)

add_executable(core_tests
  list_reader_test.cpp launcher_test.cpp list_path_test.cpp display_text_test.cpp)
target_link_libraries(core_tests PRIVATE brennel_launcher brennel_paths brennel_test_support gtest_main)

add_executable(win32_platform_tests windows/system_platform_win32_test.cpp)
target_link_libraries(win32_platform_tests PRIVATE brennel_platform brennel_test_support gtest_main)

# Every wine program of the run shares one prefix under the build folder
# (writable by root, away from the user's own) and one server kept alive by
# the wine_session fixture; without it each test waits seconds for wine's
# background processes.
set(BRENNEL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
# Wine spells Windows names in the Unix locale's character set: a UTF-8
# locale lets every name through, whatever the machine's locale is.
set(wine_environment
  WINEPREFIX=${BRENNEL_WINEPREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= LC_ALL=C.UTF-8)
set(wine_session ${CMAKE_CURRENT_SOURCE_DIR}/windows/wine_session.sh)

add_test(NAME wine_session_start COMMAND bash ${wine_session} start ${BRENNEL_WINEPREFIX})
add_test(NAME wine_session_stop COMMAND bash ${wine_session} stop ${BRENNEL_WINEPREFIX})
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine)

# One CTest entry per suite: listing the tests through wine costs a start each.
foreach(suite core_tests win32_platform_tests)
  add_test(NAME ${suite} COMMAND ${suite})
  set_tests_properties(${suite} PROPERTIES
    ENVIRONMENT "${wine_environment}" FIXTURES_REQUIRED wine TIMEOUT 300)
endforeach()

# The move to another volume needs a folder on another file system than the
# wine prefix: /dev/shm where it is a tmpfs of its own (not in a chroot).
execute_process(COMMAND stat -c %d /dev/shm ${CMAKE_BINARY_DIR}
  OUTPUT_VARIABLE devices OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status ERROR_QUIET)
string(REPLACE "\n" ";" devices "${devices}")
list(LENGTH devices device_count)
if(status EQUAL 0 AND device_count EQUAL 2)
  list(GET devices 0 shm_device)
  list(GET devices 1 build_device)
  if(NOT shm_device STREQUAL build_device)
    set_property(TEST win32_platform_tests APPEND PROPERTY ENVIRONMENT "BRENNEL_OTHER_VOLUME=Z:/dev/shm")
  endif()
endif()

add_test(NAME version_record
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/windows/check_version_record.py $<TARGET_FILE:brennel>)

# Reads the running window's layout from outside, for the smoke test.
add_executable(layout_probe windows/layout_probe.cpp)
target_compile_options(layout_probe PRIVATE -municode)
target_link_options(layout_probe PRIVATE -municode)

add_test(NAME smoke_test
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/smoke_test.sh
          $<TARGET_FILE:brennel> $<TARGET_FILE:layout_probe>)
set_tests_properties(smoke_test PROPERTIES
  ENVIRONMENT "${wine_environment}" FIXTURES_REQUIRED wine RUN_SERIAL TRUE TIMEOUT 900)

add_test(NAME exe_imports
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/check_imports.sh ${CMAKE_OBJDUMP} $<TARGET_FILE:brennel>)

# brennel-check.exe under wine, on a copy of the demo mod.
add_test(NAME check_program
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/check_test.sh $<TARGET_FILE:brennel-check>
          ${PROJECT_SOURCE_DIR}/examples)
set_tests_properties(check_program PROPERTIES
  ENVIRONMENT "${wine_environment}" FIXTURES_REQUIRED wine TIMEOUT 300)
