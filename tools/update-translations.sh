#!/usr/bin/env bash
# Gathers the texts of the windows, the message boxes and the command line into
# res/translations/bytemender_en.ts (Qt's lupdate, Debian qt6-l10n-tools).
# Translate the new entries there (Qt Linguist, or by hand); the build
# compiles the file with lrelease for the window and into a table for the
# command line.
#
#   tools/update-translations.sh [FILE.ts]
#
# FILE.ts (default: the one above) is the file updated; LUPDATE names the
# lupdate program when it is not on the PATH nor in /usr/lib/qt6/bin.
set -euo pipefail
ts=$(realpath -m "${1:-$(dirname "${BASH_SOURCE[0]}")/../res/translations/bytemender_en.ts}")
cd "$(dirname "${BASH_SOURCE[0]}")/.."
lupdate=${LUPDATE:-$(command -v lupdate || echo /usr/lib/qt6/bin/lupdate)}
"$lupdate" -silent -locations none -no-obsolete -source-language zh_CN -target-language en \
    -I . app core editor engine settings winutil $( [ -d cli ] && echo cli ) \
    -ts "$ts"
