#!/usr/bin/env bash
# The Windows Installer package of a cross build, as msitools reads it and as
# an administrator installs it.
#   windows-msi.sh tables MSI PAYLOAD-DIR x64|x86 VERSION
#     its tables (msiinfo, no Wine): the files with their versions, the
#     shortcut, the upgrade rows, the properties "Apps and features" shows;
#   windows-msi.sh wine MSI PAYLOAD-DIR x64|x86 VERSION CORVANE-DEVSIM QARN-READERSIM
#     under the Wine loader WINELOADER names (WINEARCH the prefix's kind), in a
#     fresh private prefix whose wineserver runs inside a namespace LAN made
#     here: silent install, the files, the shortcut and the uninstall entry;
#     the installed corvane-scan.exe against simulated devices and
#     qarn-reader.exe against the simulated reader on COM1; an upgrade to a
#     package built here from the same payload with a higher version; the
#     lower one refused over it; the uninstall.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../../scripts/script-lib.sh"
mode="$1"
msi="$(realpath "$2")"
payload="$(realpath "$3")"
arch="$4"
version="$5"
work="$(mktemp -d)"

# The package's files as rows "id<TAB>directory path<TAB>name<TAB>version", the
# directory path relative to TARGETDIR with the Program Files folder's Id as its first part.
package_files() {
    python3 - "$1" <<'PYTHON'
import subprocess, sys
def rows(table):
    out = subprocess.run(["msiinfo", "export", sys.argv[1], table], check=True,
                         capture_output=True, text=True).stdout
    return [line.split("\t") for line in out.splitlines()[3:]]
directories = {r[0]: (r[1], r[2].split("|")[-1].split(":")[-1]) for r in rows("Directory")}
def path(d):
    parent, name = directories[d]
    if not parent:
        return []
    return path(parent) + ([d] if name == "." else [name])
components = {r[0]: r[2] for r in rows("Component")}
for r in rows("File"):
    print("\t".join([r[0], "/".join(path(components[r[1]])), r[2].split("|")[-1], r[4]]))
PYTHON
}

# msiinfo export MSI TABLE without its three header lines.
table() {
    # In the run's directory: the export of a table with binary columns writes their streams there.
    (cd "$work" && msiinfo export "$msi" "$1") | tr -d '\r' | tail -n +4
}

# The architecture's Program Files folder, and its name in the summary's template.
if [ "$arch" = x64 ]; then
    program_files=ProgramFiles64Folder platform=x64
else
    program_files=ProgramFilesFolder platform=Intel
fi
upgrade_code="{5B0C6E2A-3D7F-4C1B-9A8E-2F46D1C07E35}"

check_tables() {
    package_files "$msi" >"$work/files.tsv" || fail "cannot read the package's tables"
    # Every program of the payload, qarn-reader's DLL and the user documents;
    # no library for developers, nothing outside the package's own folder.
    cut -f3 "$work/files.tsv" | sort >"$work/names"
    { (cd "$payload/bin" && ls -- *.exe); printf '%s\n' QARNAPI.dll LICENSE.txt corvane.md; } | sort >"$work/expected-names"
    comm -23 "$work/expected-names" "$work/names" | grep . && fail "the package lacks these files"
    grep -E '\.(lib|a|def|h)$|^serwyn\.dll$' "$work/names" && fail "the package holds files for developers"
    awk -F'\t' '$3 !~ /\.(exe|dll)$/ && $2 !~ /\/doc$/ { exit 1 }' "$work/files.tsv" ||
        fail "a document is not in the doc folder"
    awk -F'\t' -v pf="$program_files" '$2 !~ "^" pf "/fieldkit(/doc)?$" { exit 1 }' "$work/files.tsv" ||
        fail "a file is not under $program_files/fieldkit: $(cat "$work/files.tsv")"
    awk -F'\t' '$3 ~ /\.(exe|dll)$/ && $2 ~ /\/doc$/ { exit 1 }' "$work/files.tsv" ||
        fail "a program or DLL is not in the program folder"
    # Programs and DLLs carry the version of their version resource; nothing
    # versioned has a hash, which Windows Installer keeps for unversioned files.
    local id dir name file_version actual
    while IFS=$'\t' read -r id dir name file_version; do
        case "$name" in
            *.exe | *.dll)
                actual="$(python3 "$here/../windows/pe_version.py" "$payload/bin/$name")" || fail "$name has no version resource"
                [ "$file_version" = "$actual" ] || fail "$name is versioned '$file_version' in the package, its resource says $actual"
                table MsiFileHash | cut -f1 | grep -qx "$id" && fail "$name is versioned yet hashed"
                ;;
            *) [ -z "$file_version" ] || fail "the unversioned $name has version '$file_version'" ;;
        esac
    done <"$work/files.tsv"
    grep -q $'^Corvane.exe\t[^\t]*\tCorvane.exe\t[0-9.]*$' "$work/files.tsv" || fail "no Corvane.exe"
    # The Start-menu entry runs Corvane.exe from the program folder, with its icon.
    table Shortcut | awk -F'\t' '$2 == "ProgramMenuFolder" && $3 == "Corvane" && $4 == "Corvane" &&
        $5 == "[INSTALLDIR]Corvane.exe" && $9 == "corvane.ico" { found = 1 } END { exit !found }' ||
        fail "no Start-menu shortcut to Corvane.exe with its icon: $(table Shortcut)"
    table Icon | cut -f1 | grep -qx corvane.ico || fail "the icon is not in the package"
    # Per machine; what "Apps and features" shows; the one upgrade code.
    table Property >"$work/properties"
    local property
    for property in "ALLUSERS	1" "ARPPRODUCTICON	corvane.ico" "ProductName	fieldkit" "ProductVersion	$version" \
                    "Manufacturer	The fieldkit developers" "UpgradeCode	$upgrade_code"; do
        grep -qxF "$property" "$work/properties" || fail "property '$property' is missing: $(cat "$work/properties")"
    done
    # A lower version is replaced (found as an upgrade), a higher one found as a
    # downgrade; the launch condition refuses that with a message.
    table Upgrade >"$work/upgrade"
    grep -qxF "$upgrade_code		$version		1		WIX_UPGRADE_DETECTED" "$work/upgrade" ||
        fail "no row that replaces versions below $version: $(cat "$work/upgrade")"
    grep -qxF "$upgrade_code	$version			2		WIX_DOWNGRADE_DETECTED" "$work/upgrade" ||
        fail "no row that detects versions above $version: $(cat "$work/upgrade")"
    table LaunchCondition | grep -q "^NOT WIX_DOWNGRADE_DETECTED	A newer version of fieldkit is already installed" ||
        fail "a newer installed version does not stop the install"
    table InstallExecuteSequence | cut -f1 | grep -qx RemoveExistingProducts || fail "an upgrade does not remove the old version"
    # The package is for this architecture.
    local template
    template="$(msiinfo suminfo "$msi" | sed -n 's/^Template: //p')"
    [ "$template" = "$platform;1033" ] || fail "the package's platform is '$template', not $platform"
    echo "the package's tables hold: $(cut -f3,4 "$work/files.tsv" | tr '\t\n' ' ,')"
}

if [ "$mode" = tables ]; then
    trap 'rm -rf "$work"' EXIT
    check_tables
    echo "PASSED: the tables of $(basename "$msi")"
    exit 0
fi

[ "$mode" = wine ] || fail "unknown mode '$mode'"
devsim="$6"
readersim="$7"
need_root "the package's Wine test needs root to create its network namespace"
[ -x "${WINELOADER:-}" ] || fail "WINELOADER names no Wine loader: '${WINELOADER:-}'"
source "$here/../../scripts/corvane-netns.sh"
source "$here/../../scripts/wine-env.sh"
# No Start-menu entries of the host's desktop for the prefix's shortcuts.
export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$WINEPREFIX"
wine_in=""
reader_pid=""
cleanup() {
    [ -n "$wine_in" ] && timeout -k 5 30 ip netns exec "$wine_in" wineserver -k 2>/dev/null
    wine_in=""
    [ -n "$reader_pid" ] && kill "$reader_pid" 2>/dev/null && wait "$reader_pid" 2>/dev/null
    corvane_stop_simulators
    corvane_netns_delete
    rm -rf "$work"
}
trap cleanup EXIT
script_deadline 500

# Every Windows program of the run, inside the namespace whose wineserver owns its sockets.
win() {
    local seconds="$1"
    shift
    timeout -k 5 "$seconds" ip netns exec "$CORVANE_NS_PC" env LC_ALL=C.UTF-8 "$WINELOADER" "$@"
}
# msiexec ARGUMENTS... /qn: true when it succeeds; its exit status in msi_status.
# A Unix process's exit status holds only the low byte of the Windows one, so a
# batch file of the prefix prints it in full.
msi_status=""
msiexec() {
    msi_status="$(win 120 cmd /c 'C:\msiexec-status.cmd' "$@" /qn /l*v "$(winepath_of "$work/msiexec.log")" 2>/dev/null |
        tr -d '\r' | sed -n 's/^msiexec exit status //p')"
    [ "$msi_status" = 0 ]
}
winepath_of() {
    echo "Z:${1//\//\\}"
}
# The uninstall entries named fieldkit, as "key<TAB>version<TAB>publisher" lines.
uninstall_entries() {
    win 60 reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
        awk '/^HKEY/ { key = $0; name = ""; version = ""; publisher = ""; next }
             $1 == "DisplayName" { sub(/^ *DisplayName +REG_SZ +/, ""); name = $0 }
             $1 == "DisplayVersion" { sub(/^ *DisplayVersion +REG_SZ +/, ""); version = $0 }
             $1 == "Publisher" { sub(/^ *Publisher +REG_SZ +/, ""); publisher = $0 }
             /^$/ && name == "fieldkit" { print key "\t" version "\t" publisher; name = "" }
             END { if (name == "fieldkit") print key "\t" version "\t" publisher }'
}
# The icon "Apps and features" shows, which Windows Installer keeps with the product's registration.
product_icons() {
    win 60 reg query 'HKCR\Installer\Products' /s 2>/dev/null | tr -d '\r' |
        awk '/^HKEY/ { icon = ""; named = 0 } $1 == "ProductIcon" { sub(/^ *ProductIcon +REG_SZ +/, ""); icon = $0 }
             $1 == "ProductName" && $3 == "fieldkit" { named = 1 } /^$/ { if (named && icon != "") print icon; named = 0 }'
}
unix_path() {   # C:\a\b -> the prefix's drive_c/a/b
    local path="${1#[Cc]:\\}"
    echo "$WINEPREFIX/drive_c/${path//\\//}"
}
# Per machine, Windows puts the shortcut in the all-users Programs folder; Wine's
# msi puts it in the user's whatever ALLUSERS says. Either counts, once.
shortcuts() {
    find "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs" \
         "$WINEPREFIX/drive_c/users" -path '*Start Menu/Programs/Corvane.lnk' 2>/dev/null
}
folder="$WINEPREFIX/drive_c/Program Files/fieldkit"

check_installed() {
    local id dir name file_version
    while IFS=$'\t' read -r id dir name file_version; do
        local target="$folder${dir#"$program_files/fieldkit"}/$name"
        cmp -s "$target" "$(find "$payload" -name "$name" -type f | head -n 1)" ||
            fail "$name is not installed as ${target#"$WINEPREFIX"/}"
    done <"$work/files.tsv"
    [ "$(find "$folder" -type f | wc -l)" -eq "$(wc -l <"$work/files.tsv")" ] ||
        fail "the folder holds other files than the package's: $(find "$folder" -type f)"
    [ "$(shortcuts | wc -l)" -eq 1 ] || fail "not one Start-menu shortcut to Corvane: $(shortcuts)"
    # The link names its target by its full path (LinkInfo's local base path).
    grep -qaF 'C:\Program Files\fieldkit\Corvane.exe' "$(shortcuts)" || fail "the shortcut does not point at Corvane.exe"
}

# check_entry VERSION: one uninstall entry, of VERSION, with the publisher and the icon.
check_entry() {
    uninstall_entries >"$work/entries"
    [ "$(wc -l <"$work/entries")" -eq 1 ] || fail "not one uninstall entry named fieldkit: $(cat "$work/entries")"
    [ "$(cut -f2 "$work/entries")" = "$1" ] || fail "the uninstall entry shows version $(cut -f2 "$work/entries"), not $1"
    [ "$(cut -f3 "$work/entries")" = "The fieldkit developers" ] || fail "the uninstall entry shows no publisher"
    local icons
    icons="$(product_icons)"
    [ "$(grep -c . <<<"$icons")" -eq 1 ] || fail "not one registered product icon: '$icons'"
    cmp -s "$(unix_path "$icons")" "$payload/corvane.ico" || fail "the product icon $icons is not Corvane's"
}

check_tables
higher="${version%.*}.$((${version##*.} + 1))"
bash "$here/../windows/build-msi.sh" "$here/../windows/fieldkit.wxs" "$payload" "$higher" "$arch" "$work/higher.msi" ||
    fail "cannot build a package of version $higher"

corvane_netns_create "msi-$$-$RANDOM" || fail "cannot create the namespaces"
corvane_simulate "$devsim" "$CORVANE_NS_LAN" "$work/devsim.log" --devices 3 --first-address "$CORVANE_NET.100" ||
    fail "the device simulator did not start"
timeout -k 5 30 ip netns exec "$CORVANE_NS_PC" wineserver -p || fail "cannot start a wineserver in the namespace"
wine_in="$CORVANE_NS_PC"
win 200 wineboot -i >/dev/null 2>&1 || fail "cannot make the Wine prefix"
wine_env_servers_only_in "$CORVANE_NS_PC" "$WINEPREFIX" || fail "the prefix's wineserver does not run in the namespace"
printf '@msiexec %%*\r\n@echo msiexec exit status %%ERRORLEVEL%%\r\n' >"$WINEPREFIX/drive_c/msiexec-status.cmd"

echo "== install =="
msiexec /i "$(winepath_of "$msi")" || fail "msiexec /i ended with '$msi_status'"
check_installed
check_entry "$version"

echo "== the installed programs =="
scan="$(win 60 'C:\Program Files\fieldkit\corvane-scan.exe' | tr -d '\r')" || fail "the installed corvane-scan.exe ended with $?"
[ "$(grep -c "^$CORVANE_NET\.10[0-2] " <<<"$scan")" -eq 3 ] && [ "$(wc -l <<<"$scan")" -eq 3 ] ||
    fail "the installed corvane-scan.exe did not list the three devices: $scan"
mkfifo "$work/reader-path"
"$readersim" >"$work/reader-path" 2>"$work/readersim.log" &
reader_pid=$!
read -r device <"$work/reader-path"
[ -c "$device" ] || fail "the reader simulator printed no device: '$device'"
wine_env_map_com 1 "$device"
reader='C:\Program Files\fieldkit\qarn-reader.exe'
out="$(win 60 "$reader" --port 1 set-time 2027-03-07T14:05:09 | tr -d '\r')" || fail "qarn-reader set-time ended with $?"
[ "$out" = "clock set to 2027-03-07 14:05:09 Sunday" ] || fail "qarn-reader set-time printed '$out'"
out="$(win 60 "$reader" --port 1 time | tr -d '\r')" || fail "qarn-reader time ended with $?"
[[ "$out" == *"2027-03-07 14:05:09"* ]] || fail "the installed qarn-reader.exe read the clock as '$out'"

echo "== upgrade to $higher, then $version refused =="
msiexec /i "$(winepath_of "$work/higher.msi")" || fail "the upgrade to $higher ended with '$msi_status'"
check_installed
check_entry "$higher"
# The launch condition fails the install (ERROR_INSTALL_FAILURE, 1603); its
# message is in the package (check_tables), which Wine shows only with a user interface.
msiexec /i "$(winepath_of "$msi")" && fail "version $version installed over $higher"
[ "$msi_status" = 1603 ] || fail "installing $version over $higher ended with '$msi_status', not 1603"
grep -qa "LaunchConditions" "$work/msiexec.log" || fail "the log shows no launch condition"
echo "version $version over $higher: refused, exit status $msi_status"
check_installed
check_entry "$higher"

echo "== uninstall =="
msiexec /x "$(winepath_of "$work/higher.msi")" || fail "msiexec /x ended with '$msi_status'"
[ -e "$folder" ] && fail "the program folder is left: $(find "$folder")"
[ -z "$(shortcuts)" ] || fail "the shortcut is left: $(shortcuts)"
[ -z "$(uninstall_entries)" ] || fail "the uninstall entry is left: $(uninstall_entries)"
[ -z "$(product_icons)" ] || fail "the product's registration is left"
echo "PASSED: $(basename "$msi") installs, runs, upgrades, refuses the downgrade and uninstalls under Wine"
