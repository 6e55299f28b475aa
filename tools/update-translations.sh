#!/usr/bin/env bash
# Gathers the texts of the windows, the message boxes and the command line into
# res/translations/bytemender_en.ts (Qt's lupdate, Debian qt6-l10n-tools).
# Translate the new entries there (Qt Linguist, or by hand); the build
# compiles the file with lrelease for the window and into a table for the
# command line.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
lupdate=$(command -v lupdate || echo /usr/lib/qt6/bin/lupdate)
"$lupdate" -silent -locations none -no-obsolete -source-language zh_CN -target-language en \
    -I . app editor engine settings winutil $( [ -d cli ] && echo cli ) \
    -ts res/translations/bytemender_en.ts
