#!/bin/bash
# The project file type as a desktop sees it: the shared-mime-info package compiles,
# "*.nts" maps to the program's type with the program's icon, and the desktop entry is
# valid, opens that type and passes the file on.
# Usage: check_filetype.sh ASSETS_DIR
set -eu
ASSETS=$(readlink -f "${1:?usage: check_filetype.sh ASSETS_DIR}")
for tool in update-mime-database desktop-file-validate; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
mkdir -p "$TMP/mime/packages"
cp "$ASSETS/folivant-mime.xml" "$TMP/mime/packages/folivant.xml"
update-mime-database "$TMP/mime" >"$TMP/log" 2>&1 || { cat "$TMP/log"; exit 1; }
grep -qx '50:application/x-folivant-project:\*\.nts' "$TMP/mime/globs2"
grep -qx 'application/x-folivant-project:folivant' "$TMP/mime/icons"
desktop-file-validate "$ASSETS/folivant.desktop" >"$TMP/log" 2>&1 || { cat "$TMP/log"; exit 1; }
grep -qx 'MimeType=application/x-folivant-project;' "$ASSETS/folivant.desktop"
grep -qx 'Exec=folivant %f' "$ASSETS/folivant.desktop"
echo "project file type: ok"
