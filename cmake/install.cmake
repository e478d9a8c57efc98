# What `cmake --install` puts in place, and the package CPack makes of it:
# on Linux the program with what a desktop needs to open a mod's lists
# (a .deb), on Windows the .exe and a README (a zip). Included from the top
# CMakeLists.txt.

# The version as users see it; the numeric one is PROJECT_VERSION.
set(BRENNEL_RELEASE 1.00)
# The desktop's name for the program: desktop entry, metainfo and icon.
set(BRENNEL_ID org.tavrik.Brennel)
set(linux_resources ${PROJECT_SOURCE_DIR}/resources/linux)

set(CPACK_PACKAGE_VERSION ${BRENNEL_RELEASE})
set(CPACK_PACKAGE_VENDOR "The Brennel developers")
set(CPACK_PACKAGE_CONTACT
    "Brennel maintainers <maintainers@users.noreply.c-seed-9a6cb805.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "puts a Tavrik mod in place and takes it out again")

if(WIN32)
  install(TARGETS brennel brennel-check RUNTIME DESTINATION .)
  configure_file(resources/windows/README.txt ${CMAKE_BINARY_DIR}/README.txt
                 @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME Brennel-${BRENNEL_RELEASE}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  include(CPack)
  return()
endif()

install(TARGETS brennel brennel-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The launcher finds the program relative to itself, so an install under any
# prefix works; the desktop entry needs its absolute path.
set(launcher_dir ${CMAKE_INSTALL_LIBEXECDIR}/brennel)
set(BRENNEL_OPEN_PROGRAM ${CMAKE_INSTALL_PREFIX}/${launcher_dir}/brennel-open)
file(RELATIVE_PATH BRENNEL_PROGRAM_FROM_LAUNCHER
     ${CMAKE_INSTALL_PREFIX}/${launcher_dir} ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/brennel)
configure_file(${linux_resources}/brennel-open.in ${CMAKE_BINARY_DIR}/brennel-open @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/brennel-open DESTINATION ${launcher_dir})
configure_file(${linux_resources}/${BRENNEL_ID}.desktop.in ${CMAKE_BINARY_DIR}/${BRENNEL_ID}.desktop @ONLY)

set(share ${CMAKE_INSTALL_DATADIR})
install(FILES ${CMAKE_BINARY_DIR}/${BRENNEL_ID}.desktop DESTINATION ${share}/applications)
install(FILES ${linux_resources}/${BRENNEL_ID}.metainfo.xml DESTINATION ${share}/metainfo)
install(FILES ${linux_resources}/${BRENNEL_ID}.mime.xml
        DESTINATION ${share}/mime/packages RENAME ${BRENNEL_ID}.xml)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/brennel-${size}.png
          DESTINATION ${share}/icons/hicolor/${size}x${size}/apps RENAME ${BRENNEL_ID}.png)
endforeach()

# Debian keeps man pages and changelogs compressed, without a time stamp.
set(compressed "")
foreach(file brennel.1 brennel-check.1 changelog)
  add_custom_command(OUTPUT ${file}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${linux_resources}/${file} ${file}
    COMMAND gzip -9nf ${file}
    DEPENDS ${linux_resources}/${file} VERBATIM)
  list(APPEND compressed ${CMAKE_CURRENT_BINARY_DIR}/${file}.gz)
endforeach()
add_custom_target(brennel_documents ALL DEPENDS ${compressed})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/brennel.1.gz ${CMAKE_CURRENT_BINARY_DIR}/brennel-check.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
set(doc_dir ${share}/doc/brennel)
install(FILES ${linux_resources}/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION ${doc_dir})

# The .deb: dependencies computed from the binary by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brennel)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Native on Wayland desktops; without it Qt falls back to XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The extended description; the synopsis is CPACK_PACKAGE_DESCRIPTION_SUMMARY.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A mod activator: a game's mod ships two list files, Tavrik.mla and
Tavrik.mld, that name its files in pairs. Opening either list from the
file manager starts Brennel in its folder, with two buttons: Activate
renames each pair's first file to its second, Deactivate renames them
back.
.
It stops at the first file that is missing and names it, never replaces
an existing file and never copies. Lists written on Windows work as they
are.
.
brennel-check says what the buttons will do before they are pressed, and
what is amiss in a mod's lists, without changing anything.")
include(CPack)
