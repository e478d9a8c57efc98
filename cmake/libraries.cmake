# One static library per folder of src/, which compiles with nothing on its
# include path but its own folder and what it may see: an include against
# the direction of dependencies (docs/development.md, "Layout and
# dependencies") does not compile.
#
#   brennel_library(NAME FOLDER SOURCES file... [SEES seen...] [LINKS library...])
#
# SEES names folders of src/ (`lists`) or single headers (`launcher/platform.h`);
# a single header is seen through a folder of links of the library's own
# (build/views/NAME), so that its neighbours stay unseen. LINKS are linked
# without their include folders. Programs, tests and benchmarks may see
# every folder: they take brennel_headers, and link the libraries they use.

add_library(brennel_headers INTERFACE)

function(brennel_library name folder)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "SOURCES;SEES;LINKS")
  add_library(${name} STATIC ${arg_SOURCES})
  set(dirs ${PROJECT_SOURCE_DIR}/src/${folder})
  set(view ${CMAKE_BINARY_DIR}/views/${name})
  foreach(seen IN LISTS arg_SEES)
    if(seen MATCHES "\\.h$")
      get_filename_component(file ${seen} NAME)
      file(MAKE_DIRECTORY ${view})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${seen} ${view}/${file} SYMBOLIC)
      list(APPEND dirs ${view})
    else()
      list(APPEND dirs ${PROJECT_SOURCE_DIR}/src/${seen})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES dirs)
  target_include_directories(${name} PRIVATE ${dirs})
  foreach(library IN LISTS arg_LINKS)
    target_link_libraries(${name} PUBLIC $<LINK_ONLY:${library}>)
  endforeach()
  target_include_directories(brennel_headers INTERFACE ${PROJECT_SOURCE_DIR}/src/${folder})
endfunction()
