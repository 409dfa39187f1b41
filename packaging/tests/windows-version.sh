#!/usr/bin/env bash
# The version resource of every .exe and .dll that ships, read under the
# emulator by version_info_check.exe: those of the zip (the install step's
# layout) and those the MSI's File table names, taken from the payload the
# package was built from. Corvane.exe keeps its own block and version.
#   windows-version.sh EMULATOR CHECKER VERSION CORVANE_VERSION ZIP MSI|- PAYLOAD
set -euo pipefail
emulator="$1" checker="$2" version="$3" corvane_version="$4" zip="$5" msi="$6" payload="$7"
fail() { echo "FAIL: $*"; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

unzip -q "$zip" -d "$work/zip" || fail "cannot unpack $zip"
mapfile -t files < <(find "$work/zip" -type f \( -iname '*.exe' -o -iname '*.dll' \) | sort)
((${#files[@]})) || fail "$zip holds no .exe or .dll"
if [ "$msi" != - ]; then
    # The File table's FileName column is "SHORT|long" (or just the name).
    mapfile -t names < <((cd "$work" && msiinfo export "$msi" File) | tr -d '\r' | tail -n +4 |
                         cut -f3 | sed 's/.*|//' | grep -iE '\.(exe|dll)$' | sort -u)
    ((${#names[@]})) || fail "$msi holds no .exe or .dll"
    for name in "${names[@]}"; do
        path="$(find "$payload" -type f -name "$name" -print -quit)"
        [ -n "$path" ] || fail "$name is in $msi but not in its payload $payload"
        files+=("$path")
    done
fi
grep -qi '/Corvane\.exe$' < <(printf '%s\n' "${files[@]}") || fail "nothing ships Corvane.exe"
exec "$emulator" "$checker" "$version" --own Corvane.exe "$corvane_version" "${files[@]}"
