# The native Windows program, cross-built with mingw-w64. Included from the
# top CMakeLists.txt when WIN32.
enable_language(RC)

# One self-contained .exe: no libstdc++, libgcc or winpthread DLLs beside it.
add_link_options(-static)
# No link time in the PE header, so that two builds of one commit are equal.
add_link_options(-Wl,--no-insert-timestamp)
# Unicode W functions by default, Windows 7 as the oldest system: for every
# file of the build.
add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)

brennel_library(brennel_platform platform/win32
  SOURCES src/platform/win32/system_platform_win32.cpp src/platform/win32/wide_text.cpp
          src/platform/win32/windows_files.cpp src/platform/win32/list_file_win32.cpp
  SEES ${brennel_platform_sees} LINKS ${brennel_platform_links})
target_include_directories(brennel_headers INTERFACE src/platform)

# The window sees the launcher and never a concrete platform (the entry
# hands it the system's), but for the UTF-16 text that Windows takes.
brennel_library(brennel_window window
  SOURCES src/window/launcher_window_win32.cpp src/window/message_box_win32.cpp
          src/window/dpi_win32.cpp
  SEES launcher lists base platform/win32/wide_text.h LINKS brennel_launcher brennel_platform)

# The executable's name is also written into its version record.
set(BRENNEL_EXE_NAME Brennel)
set(BRENNEL_ICON ${PROJECT_SOURCE_DIR}/resources/brennel.ico)
set(BRENNEL_MANIFEST ${PROJECT_SOURCE_DIR}/resources/brennel.manifest)
configure_file(resources/brennel.rc.in ${CMAKE_BINARY_DIR}/brennel.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/brennel.rc PROPERTIES
  OBJECT_DEPENDS "${BRENNEL_ICON};${BRENNEL_MANIFEST};${PROJECT_SOURCE_DIR}/src/window/resource_ids.h")

add_executable(brennel WIN32 src/app/main_win32.cpp ${CMAKE_BINARY_DIR}/brennel.rc)
set_target_properties(brennel PROPERTIES OUTPUT_NAME ${BRENNEL_EXE_NAME})
target_compile_options(brennel PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-municode>)
target_link_options(brennel PRIVATE -municode -s)
target_link_libraries(brennel PRIVATE brennel_headers brennel_window brennel_platform comctl32)
