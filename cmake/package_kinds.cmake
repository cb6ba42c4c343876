# Read by cpack for each generator: the Debian package holds the native
# command, the zip the Windows one.
if(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_COMPONENTS_ALL windows)
  set(CPACK_PACKAGE_FILE_NAME "tavisk-${CPACK_PACKAGE_VERSION}-win64")
  set(CPACK_STRIP_FILES OFF)
  # Unpacked, it makes one folder rather than scattering files.
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_COMPONENTS_ALL native)
endif()
