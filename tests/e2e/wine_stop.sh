#!/bin/sh
# Ends the tests' wine server once the Wine stories are done.
build=$(cd "$1" && pwd)
WINEPREFIX="$build/wineprefix" wineserver -k >/dev/null 2>&1 </dev/null
exit 0
