#!/usr/bin/env bash
# Builds the Windows Installer package from a payload directory (the stripped
# files as `cmake --install` lays them out, and corvane.ico) with wixl, then
# gives its programs and DLLs their file versions in the File table and adds
# the program folder to the system PATH.
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
# The program folder at the end of the system PATH while the command-line
# programs' component is installed, so that a Command Prompt finds them; the
# uninstall takes out that entry alone. wixl has no Environment element, so the
# row and the two standard actions are written here: "=-*" is set on install,
# removed on uninstall, in the system's environment; "[~];" appends to the
# value already there.
idt="$(mktemp -d)"
trap 'rm -rf "$idt"' EXIT
{
    printf 'Environment\tName\tValue\tComponent_\r\n'
    printf 's72\tl255\tl255\ts72\r\n'
    printf 'Environment\tEnvironment\r\n'
    printf 'PATH\t=-*PATH\t[~];[INSTALLDIR]\tcorvane_scan\r\n'
} >"$idt/Environment.idt"
msibuild "$output" -i "$idt/Environment.idt" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('RemoveEnvironmentStrings', 3300)" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('WriteEnvironmentStrings', 5200)"
