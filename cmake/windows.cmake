# The native Windows program, cross-built with mingw-w64. Included from the
# top CMakeLists.txt when WIN32.
enable_language(RC)

# One self-contained .exe: no libstdc++, libgcc or winpthread DLLs beside it.
add_link_options(-static)
# No link time in the PE header, so that two builds of one commit are equal.
add_link_options(-Wl,--no-insert-timestamp)
# Unicode W functions by default, Windows 7 as the oldest system.
set(brennel_windows_definitions UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)

# UTF-8 to and from Windows' UTF-16: for the file layer and the window alike.
add_library(brennel_wide_text STATIC src/platform/win32/wide_text.cpp)
target_include_directories(brennel_wide_text PUBLIC src/platform/win32)
target_compile_definitions(brennel_wide_text PUBLIC ${brennel_windows_definitions})

target_sources(brennel_platform PRIVATE
  src/platform/win32/windows_files.cpp
  src/platform/win32/list_file_win32.cpp)
target_link_libraries(brennel_platform PUBLIC brennel_wide_text)

add_library(brennel_window STATIC
  src/window/launcher_window_win32.cpp
  src/window/message_box_win32.cpp
  src/window/dpi_win32.cpp)
target_include_directories(brennel_window PUBLIC src/window)
# The window sees the platform interface only; the entry hands it the
# system's platform.
target_link_libraries(brennel_window PUBLIC brennel_core brennel_wide_text)

# The executable's name is also written into its version record.
set(BRENNEL_EXE_NAME Brennel)
set(BRENNEL_ICON ${PROJECT_SOURCE_DIR}/resources/brennel.ico)
set(BRENNEL_MANIFEST ${PROJECT_SOURCE_DIR}/resources/brennel.manifest)
configure_file(resources/brennel.rc.in ${CMAKE_BINARY_DIR}/brennel.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/brennel.rc PROPERTIES
  OBJECT_DEPENDS "${BRENNEL_ICON};${BRENNEL_MANIFEST};${PROJECT_SOURCE_DIR}/src/window/resource_ids.h")

add_executable(brennel WIN32 src/app/main_win32.cpp ${CMAKE_BINARY_DIR}/brennel.rc)
set_target_properties(brennel PROPERTIES OUTPUT_NAME ${BRENNEL_EXE_NAME})
target_include_directories(brennel PRIVATE src/window)
target_compile_options(brennel PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-municode>)
target_link_options(brennel PRIVATE -municode -s)
target_link_libraries(brennel PRIVATE brennel_window brennel_platform comctl32)
