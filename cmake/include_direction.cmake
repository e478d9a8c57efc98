# Fails when a source file includes a header that its folder may not see,
# so that dependencies keep pointing one way (docs/development.md, "Layout
# and dependencies"). Run as a test: cmake -DSOURCE=src -P include_direction.cmake
#
cmake_minimum_required(VERSION 3.25)

# Each folder of src/ may include headers of the folders listed for it, and
# besides them only the single headers listed (folder/header.h).

set(may_see_base base)
set(may_see_lists lists base)
set(may_see_paths paths lists base)
set(may_see_launcher launcher lists base)
set(may_see_platform platform launcher/platform.h lists base)
# The POSIX and Win32 layers: the launcher only through its Platform interface.
set(may_see_platform/posix platform/posix paths lists base launcher/platform.h
    platform/system_platform.h)
set(may_see_platform/win32 platform/win32 paths lists base launcher/platform.h
    platform/system_platform.h)
# The window: never a concrete platform (app/ hands it one).
set(may_see_window window launcher lists base platform/win32/wide_text.h)
# brennel-check: the POSIX layer only through the header it publishes for
# the dry run; the Win32 layer through its text and file helpers.
set(may_see_check check launcher lists base paths platform/system_platform.h platform/posix/path_walk.h
    platform/win32/wide_text.h platform/win32/windows_files.h)
set(may_see_app *)

# Where each header lives: its folder under src/, by the path an include names.
file(GLOB_RECURSE headers RELATIVE ${SOURCE} ${SOURCE}/*.h)
file(GLOB_RECURSE sources RELATIVE ${SOURCE} ${SOURCE}/*.h ${SOURCE}/*.cpp)
set(broken "")
foreach(source ${sources})
  get_filename_component(folder ${source} DIRECTORY)
  if(NOT DEFINED may_see_${folder})
    string(APPEND broken "\n  ${source}: its folder has no rule here")
    continue()
  endif()
  if(may_see_${folder} STREQUAL "*")
    continue()
  endif()
  file(STRINGS ${SOURCE}/${source} includes REGEX "^#include \"")
  foreach(line ${includes})
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
    # The header it names: in the same folder, or by its path below a folder.
    set(found "")
    foreach(header ${headers})
      if(header STREQUAL "${folder}/${included}" OR header MATCHES "(^|/)${included}$")
        set(found ${header})
        break()
      endif()
    endforeach()
    if(found STREQUAL "")
      continue()  # not ours (a generated header)
    endif()
    get_filename_component(home ${found} DIRECTORY)
    if(NOT home IN_LIST may_see_${folder} AND NOT found IN_LIST may_see_${folder})
      string(APPEND broken "\n  ${source} includes ${found}")
    endif()
  endforeach()
endforeach()
if(NOT broken STREQUAL "")
  message(FATAL_ERROR "includes against the direction of dependencies:${broken}")
endif()
message(STATUS "every include points the way dependencies go")
