# What every build of tavisk shares: the warning flags and the core's source
# list. TAVISK_SOURCE_ROOT is the project's root.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow)
if(TAVISK_WERROR)
  add_compile_options(-Werror)
endif()

file(STRINGS ${TAVISK_SOURCE_ROOT}/src/core_sources.txt tavisk_core_list REGEX "^[^#]")
set(TAVISK_CORE_SOURCES)
foreach(source ${tavisk_core_list})
  list(APPEND TAVISK_CORE_SOURCES ${TAVISK_SOURCE_ROOT}/src/${source})
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TAVISK_SOURCE_ROOT}/src/core_sources.txt)

# Each name passes through many small functions in several files: the
# command's targets are optimized across files where the compiler can.
include(CheckIPOSupported)
check_ipo_supported(RESULT tavisk_ipo LANGUAGES CXX)
function(tavisk_optimize_across_files)
  if(tavisk_ipo AND NOT TAVISK_SANITIZE)
    set_property(TARGET ${ARGN} PROPERTY INTERPROCEDURAL_OPTIMIZATION ON)
  endif()
endfunction()
