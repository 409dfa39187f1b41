#!/usr/bin/env bash
# Builds the Windows Installer package from a payload directory (the stripped
# files as `cmake --install` lays them out, and corvane.ico) with wixl, then
# gives its programs and DLLs their file versions in the File table.
#   build-msi.sh WXS PAYLOAD-DIR VERSION x64|x86 OUTPUT-MSI
set -euo pipefail
[ $# -eq 5 ] || { echo "usage: build-msi.sh WXS PAYLOAD-DIR VERSION x64|x86 OUTPUT-MSI" >&2; exit 2; }
wxs="$(realpath "$1")"
payload="$2"
version="$3"
arch="$4"
output="$(realpath -m "$5")"
here="$(cd "$(dirname "$0")" && pwd)"
rm -f "$output"
# wixl finds the sources relative to the directory it runs in.
(cd "$payload" && wixl -a "$arch" -D Version="$version" -D Arch="$arch" -o "$output" "$wxs")
python3 "$here/msi_file_versions.py" "$output" "$payload" >/dev/null
