# What `cmake --install` installs, and the packages `cpack` makes from it:
# a Debian package of the native command with its man page (component
# "native"), and a zip for Windows (component "windows": tavisk.exe, a
# commented sample tavisk.cfg, a guide in Japanese and the licence, as
# Shift-JIS text with CRLF line ends). A plain install takes only "native".
include(GNUInstallDirs)

find_program(GZIP gzip REQUIRED)
configure_file(packaging/tavisk.1.in tavisk.1 @ONLY)
set(man_page ${CMAKE_BINARY_DIR}/tavisk.1.gz)
add_custom_command(OUTPUT ${man_page}
  COMMAND ${GZIP} -9 -n -c ${CMAKE_BINARY_DIR}/tavisk.1 > ${man_page}
  DEPENDS ${CMAKE_BINARY_DIR}/tavisk.1)
add_custom_target(tavisk_man_page ALL DEPENDS ${man_page})

install(TARGETS tavisk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT native)
install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT native)
install(FILES LICENSE README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT native)
# What Debian asks of every package: the copyright in its own format, and a
# changelog (gzip -n, so that the package stays reproducible).
configure_file(packaging/debian/changelog.in changelog @ONLY)
set(changelog ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${GZIP} -9 -n -c ${CMAKE_BINARY_DIR}/changelog > ${changelog}
  DEPENDS ${CMAKE_BINARY_DIR}/changelog)
add_custom_target(tavisk_changelog ALL DEPENDS ${changelog})
install(FILES packaging/debian/copyright ${changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT native)

if(TAVISK_WINDOWS)
  set(windows_files)
  foreach(pair "packaging/windows/tavisk.cfg:tavisk.cfg" "packaging/windows/readme.txt:readme.txt"
               "LICENSE:LICENSE.txt")
    string(REPLACE ":" ";" pair ${pair})
    list(GET pair 0 from)
    list(GET pair 1 to)
    set(to ${CMAKE_BINARY_DIR}/windows-package/${to})
    add_custom_command(OUTPUT ${to}
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/sjis_texts.py --windows-text
              ${CMAKE_SOURCE_DIR}/${from} ${to}
      DEPENDS ${CMAKE_SOURCE_DIR}/${from} ${CMAKE_SOURCE_DIR}/tools/sjis_texts.py)
    list(APPEND windows_files ${to})
  endforeach()
  add_custom_target(tavisk_windows_package ALL DEPENDS ${windows_files})
  install(PROGRAMS ${CMAKE_BINARY_DIR}/tavisk.exe DESTINATION . COMPONENT windows EXCLUDE_FROM_ALL)
  install(FILES ${windows_files} DESTINATION . COMPONENT windows EXCLUDE_FROM_ALL)
endif()

set(CPACK_PACKAGE_NAME tavisk)
set(CPACK_PACKAGE_VENDOR "tavisk developers")
set(CPACK_PACKAGE_CONTACT "tavisk developers <tavisk@users.noreply.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lower-case the names of files and directories")
set(CPACK_PACKAGE_DESCRIPTION
  "tavisk lower-cases the names of files and directories by fixed rules: by
default only 8.3 names written in capitals, on request long and mixed-case
names and names with double-byte characters too. Its texts are Japanese, and
names are handled as Shift-JIS (code page 932) byte strings.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
if(TAVISK_WINDOWS)
  list(APPEND CPACK_GENERATOR ZIP)
endif()
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/package_kinds.cmake)
include(CPack)
