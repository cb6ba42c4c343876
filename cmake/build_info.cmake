# Writes OUT, the header that carries the version and the build date. Run at
# every build, so the date is the build's own; with SOURCE_DATE_EPOCH set
# (a reproducible build) the date is that one, in UTC. The file is only
# rewritten when its text changes.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  string(TIMESTAMP month "%m" UTC)
  string(TIMESTAMP day "%d" UTC)
  string(TIMESTAMP year "%Y" UTC)
else()
  string(TIMESTAMP month "%m")
  string(TIMESTAMP day "%d")
  string(TIMESTAMP year "%Y")
endif()
# The compiler's own date form, "Feb  8 2003", in English whatever the locale.
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
math(EXPR index "${month} - 1")
list(GET months ${index} month_name)
string(REGEX REPLACE "^0" " " day "${day}")
string(REPLACE "." ";" parts "${VERSION}")
list(GET parts 0 major)
list(GET parts 1 minor)
math(EXPR minor_number "${minor}")
file(WRITE ${OUT}.new
"// Generated at build time by cmake/build_info.cmake.
#pragma once
#define TAVISK_VERSION \"${VERSION}\"
#define TAVISK_VERSION_MAJOR ${major}
#define TAVISK_VERSION_MINOR ${minor_number}
#define TAVISK_BUILD_DATE \"${month_name} ${day} ${year}\"
#define TAVISK_BUILD_YEAR \"${year}\"
")
configure_file(${OUT}.new ${OUT} COPYONLY)
file(REMOVE ${OUT}.new)
