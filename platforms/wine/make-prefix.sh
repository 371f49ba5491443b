#!/bin/sh
# Makes the Wine platform's private prefix ($WINEPREFIX) once, before any
# program runs in it.
set -e
[ -e "$WINEPREFIX/.made" ] && exit 0
mkdir -p "$WINEPREFIX"
echo "zeb: making the Wine prefix $WINEPREFIX"
/usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
wineserver -w
touch "$WINEPREFIX/.made"
