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
#     lower one refused over it; the uninstall. After the install the
#     programs are found through PATH by a fresh Command Prompt in another
#     folder, and after the uninstall PATH is as it was;
#   windows-msi.sh side-by-side X64-MSI X64-PAYLOAD X86-MSI X86-PAYLOAD VERSION
#     both architectures' packages in one fresh 64-bit prefix (the 64-bit
#     loader, WINE_LOADER_64 of scripts/wine-env.sh), its wineserver in a
#     namespace of its own: two Start-menu entries and two uninstall entries;
#     uninstalling either leaves the other's files, shortcut, entry and PATH
#     entry as they were.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../../scripts/script-lib.sh"
mode="$1"
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

# What tells one architecture's package from the other's: its Program Files
# folder, its platform in the summary's template, its upgrade code, its name in
# "Apps and features" and its Start-menu entry. The x64 package keeps the code
# that every earlier package had.
arch_names() {
    if [ "$1" = x64 ]; then
        program_files=ProgramFiles64Folder platform=x64
        upgrade_code="{5B0C6E2A-3D7F-4C1B-9A8E-2F46D1C07E35}"
        product_name=fieldkit shortcut_name=Corvane
    else
        program_files=ProgramFilesFolder platform=Intel
        upgrade_code="{CF05565D-CE19-4CC8-B249-FF98252706EE}"
        product_name="fieldkit (32-bit)" shortcut_name="Corvane (32-bit)"
    fi
}

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
    table Shortcut | awk -F'\t' -v name="$shortcut_name" '{ sub(/.*\|/, "", $3) }
        $2 == "ProgramMenuFolder" && $3 == name && $4 == "Corvane" &&
        $5 == "[INSTALLDIR]Corvane.exe" && $9 == "corvane.ico" { found = 1 } END { exit !found }' ||
        fail "no Start-menu shortcut \"$shortcut_name\" to Corvane.exe with its icon: $(table Shortcut)"
    table Icon | cut -f1 | grep -qx corvane.ico || fail "the icon is not in the package"
    # Per machine; what "Apps and features" shows; the architecture's upgrade code.
    table Property >"$work/properties"
    local property
    for property in "ALLUSERS	1" "ARPPRODUCTICON	corvane.ico" "ProductName	$product_name" "ProductVersion	$version" \
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
    table LaunchCondition | grep -qF "NOT WIX_DOWNGRADE_DETECTED	A newer version of $product_name is already installed" ||
        fail "a newer installed version does not stop the install"
    table InstallExecuteSequence >"$work/sequence"
    cut -f1 "$work/sequence" | grep -qx RemoveExistingProducts || fail "an upgrade does not remove the old version"
    # The program folder is appended to the system PATH by the component of the
    # command-line programs and taken out with it; the actions run after InstallValidate.
    [ "$(table Environment)" = "PATH	=-*PATH	[~];[INSTALLDIR]	corvane_scan" ] ||
        fail "the Environment table is not the one PATH row: $(table Environment)"
    table Component | awk -F'\t' '$1 == "corvane_scan" && $3 == "INSTALLDIR" { found = 1 } END { exit !found }' ||
        fail "the PATH row's component is not in the program folder"
    awk -F'\t' '$1 == "InstallValidate" { v = $3 } $1 == "RemoveEnvironmentStrings" { r = $3 }
                $1 == "WriteEnvironmentStrings" { w = $3 } END { exit !(v && r > v && w > v) }' "$work/sequence" ||
        fail "the environment actions are not sequenced after InstallValidate: $(cat "$work/sequence")"
    # The package is for this architecture.
    local template
    template="$(msiinfo suminfo "$msi" | sed -n 's/^Template: //p')"
    [ "$template" = "$platform;1033" ] || fail "the package's platform is '$template', not $platform"
    echo "the package's tables hold: $(cut -f3,4 "$work/files.tsv" | tr '\t\n' ' ,')"
}

if [ "$mode" = tables ]; then
    msi="$(realpath "$2")" payload="$(realpath "$3")" arch="$4" version="$5"
    arch_names "$arch"
    trap 'rm -rf "$work"' EXIT
    check_tables
    echo "PASSED: the tables of $(basename "$msi")"
    exit 0
fi

case "$mode" in
    wine)
        msi="$(realpath "$2")" payload="$(realpath "$3")" arch="$4" version="$5" devsim="$6" readersim="$7"
        [ -x "${WINELOADER:-}" ] || fail "WINELOADER names no Wine loader: '${WINELOADER:-}'"
        ;;
    side-by-side)
        [ -f "$2" ] && [ -d "$3" ] || fail "no x64 package and payload at $2 and $3 (the win64 stage makes them)"
        msi64="$(realpath "$2")" payload64="$(realpath "$3")" msi32="$(realpath "$4")" payload32="$(realpath "$5")"
        version="$6"
        ;;
    *) fail "unknown mode '$mode'" ;;
esac
need_root "the package's Wine test needs root to create its network namespace"
source "$here/../../scripts/corvane-netns.sh"
source "$here/../../scripts/wine-env.sh"
if [ "$mode" = side-by-side ]; then
    # Both packages on one 64-bit PC: a 64-bit prefix, whatever the stage's own is.
    export WINELOADER="$WINE_LOADER_64" WINEARCH=win64
    [ -x "$WINELOADER" ] || fail "no 64-bit Wine loader at $WINELOADER"
fi
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
# The uninstall entries of ARCH's package, as "key<TAB>version<TAB>publisher"
# lines. On a 64-bit Windows those of 32-bit products are in the registry's
# 32-bit view.
uninstall_entries() {
    local key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
    [ "$1" = x86 ] && [ "${WINEARCH:-win64}" = win64 ] &&
        key='HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall'
    arch_names "$1"
    win 60 reg query "$key" /s 2>/dev/null | tr -d '\r' |
        awk -v wanted="$product_name" '/^HKEY/ { key = $0; name = ""; version = ""; publisher = ""; next }
             $1 == "DisplayName" { sub(/^ *DisplayName +REG_SZ +/, ""); name = $0 }
             $1 == "DisplayVersion" { sub(/^ *DisplayVersion +REG_SZ +/, ""); version = $0 }
             $1 == "Publisher" { sub(/^ *Publisher +REG_SZ +/, ""); publisher = $0 }
             /^$/ && name == wanted { print key "\t" version "\t" publisher; name = "" }
             END { if (name == wanted) print key "\t" version "\t" publisher }'
}
# The icon "Apps and features" shows for the product NAME, which Windows
# Installer keeps with the product's registration.
product_icons() {
    win 60 reg query 'HKCR\Installer\Products' /s 2>/dev/null | tr -d '\r' |
        awk -v wanted="$1" '/^HKEY/ { icon = ""; named = 0 } $1 == "ProductIcon" { sub(/^ *ProductIcon +REG_SZ +/, ""); icon = $0 }
             $1 == "ProductName" { sub(/^ *ProductName +REG_SZ +/, ""); named = ($0 == wanted) }
             /^$/ { if (named && icon != "") print icon; named = 0 }'
}
unix_path() {   # C:\a\b -> the prefix's drive_c/a/b
    local path="${1#[Cc]:\\}"
    echo "$WINEPREFIX/drive_c/${path//\\//}"
}
# The shortcuts named NAME.lnk. Per machine, Windows puts them in the all-users
# Programs folder; Wine's msi puts them in the user's whatever ALLUSERS says.
# Either counts, once.
shortcuts() {
    find "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs" \
         "$WINEPREFIX/drive_c/users" -path "*Start Menu/Programs/$1.lnk" 2>/dev/null
}
# The entries of the system PATH as the registry holds it, joined by ";".
# Wine's msi takes out the entry it appended but leaves the separator before
# it, so empty entries are dropped: the entries are compared, not the separators.
system_path() {
    win 60 reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v PATH 2>/dev/null |
        tr -d '\r' | sed -n 's/^ *PATH *REG_[A-Z_]*SZ *//p' | tr ';' '\n' | grep . | paste -sd ';'
}
# check_found_through_path FOLDER: a fresh Command Prompt in another folder runs
# the command-line programs by name, and finds them in FOLDER (Windows' path).
check_found_through_path() {
    local out expected program
    for program in corvane-scan qarn-reader; do
        expected="$(win 60 "$1\\$program.exe" --version 2>/dev/null | tr -d '\r')"
        [[ $expected == "$program "[0-9]* ]] || fail "$1\\$program.exe --version printed '$expected'"
        out="$(win 60 cmd /c "cd /d C:\\users && $program --version" 2>/dev/null | tr -d '\r')" ||
            fail "cmd /c $program --version ended with $?"
        [ "$out" = "$expected" ] || fail "cmd /c $program --version printed '$out', not '$expected'"
    done
    out="$(win 60 cmd /c 'cd /d C:\users && for %p in (corvane-scan.exe) do @echo %~$PATH:p' 2>/dev/null | tr -d '\r')"
    [ "$out" = "$1\\corvane-scan.exe" ] || fail "the Command Prompt finds corvane-scan.exe as '$out', not in $1"
    echo "found through PATH in $1: corvane-scan and qarn-reader"
}

# The Wine path of an architecture's program folder in this prefix: on a 64-bit
# Windows the x86 package installs under "Program Files (x86)".
program_folder() {
    if [ "$1" = x86 ] && [ "${WINEARCH:-win64}" = win64 ]; then
        echo 'C:\Program Files (x86)\fieldkit'
    else
        echo 'C:\Program Files\fieldkit'
    fi
}

# check_installed ARCH PAYLOAD FILES-TSV: the package's files with the payload's
# bytes and nothing else in its folder; one shortcut, naming Corvane.exe there.
check_installed() {
    local arch="$1" payload="$2" files="$3" id dir name file_version windows_folder folder
    arch_names "$arch"
    windows_folder="$(program_folder "$arch")"
    folder="$(unix_path "$windows_folder")"
    while IFS=$'\t' read -r id dir name file_version; do
        local target="$folder${dir#"$program_files/fieldkit"}/$name"
        cmp -s "$target" "$(find "$payload" -name "$name" -type f | head -n 1)" ||
            fail "$name is not installed as ${target#"$WINEPREFIX"/}"
    done <"$files"
    [ "$(find "$folder" -type f | wc -l)" -eq "$(wc -l <"$files")" ] ||
        fail "the folder holds other files than the package's: $(find "$folder" -type f)"
    [ "$(shortcuts "$shortcut_name" | wc -l)" -eq 1 ] ||
        fail "not one Start-menu shortcut \"$shortcut_name\": $(shortcuts "$shortcut_name")"
    # The link names its target by its full path (LinkInfo's local base path).
    grep -qaF "$windows_folder\\Corvane.exe" "$(shortcuts "$shortcut_name")" ||
        fail "the shortcut \"$shortcut_name\" does not point at $windows_folder\\Corvane.exe"
}

# check_entry ARCH VERSION: one uninstall entry, of VERSION, with the publisher and the icon.
check_entry() {
    arch_names "$1"
    uninstall_entries "$1" >"$work/entries"
    [ "$(wc -l <"$work/entries")" -eq 1 ] || fail "not one uninstall entry named $product_name: $(cat "$work/entries")"
    [ "$(cut -f2 "$work/entries")" = "$2" ] || fail "the uninstall entry shows version $(cut -f2 "$work/entries"), not $2"
    [ "$(cut -f3 "$work/entries")" = "The fieldkit developers" ] || fail "the uninstall entry shows no publisher"
    local icons
    icons="$(product_icons "$product_name")"
    [ "$(grep -c . <<<"$icons")" -eq 1 ] || fail "not one registered product icon for $product_name: '$icons'"
    cmp -s "$(unix_path "$icons")" "$here/../../discovery/resources/corvane.ico" ||
        fail "the product icon $icons is not Corvane's"
}

# check_removed ARCH: nothing of that architecture's package is left.
check_removed() {
    local folder
    arch_names "$1"
    folder="$(unix_path "$(program_folder "$1")")"
    [ -e "$folder" ] && fail "the program folder is left: $(find "$folder")"
    [ -z "$(shortcuts "$shortcut_name")" ] || fail "the shortcut is left: $(shortcuts "$shortcut_name")"
    [ -z "$(uninstall_entries "$1")" ] || fail "the uninstall entry is left: $(uninstall_entries "$1")"
    [ -z "$(product_icons "$product_name")" ] || fail "the product's registration is left"
}

start_prefix() {
    corvane_netns_create "msi-$$-$RANDOM" || fail "cannot create the namespaces"
    timeout -k 5 30 ip netns exec "$CORVANE_NS_PC" wineserver -p || fail "cannot start a wineserver in the namespace"
    wine_in="$CORVANE_NS_PC"
    win 200 wineboot -i >/dev/null 2>&1 || fail "cannot make the Wine prefix"
    wine_env_servers_only_in "$CORVANE_NS_PC" "$WINEPREFIX" || fail "the prefix's wineserver does not run in the namespace"
    printf '@msiexec %%*\r\n@echo msiexec exit status %%ERRORLEVEL%%\r\n' >"$WINEPREFIX/drive_c/msiexec-status.cmd"
}

if [ "$mode" = side-by-side ]; then
    arch_names x64
    msi="$msi64" payload="$payload64" check_tables && mv "$work/files.tsv" "$work/files64.tsv"
    arch_names x86
    msi="$msi32" payload="$payload32" check_tables && mv "$work/files.tsv" "$work/files32.tsv"
    # A component code names one resource wherever it is installed: two
    # products that shared one would count each other's installs of it.
    shared="$(comm -12 <(msi="$msi64" table Component | cut -f2 | sort) <(msi="$msi32" table Component | cut -f2 | sort))"
    [ -z "$shared" ] || fail "the x64 and x86 packages share component codes: $shared"
    start_prefix
    path_before="$(system_path)"
    [ -n "$path_before" ] || fail "the prefix has no system PATH"
    folder64="$(program_folder x64)" folder32="$(program_folder x86)"

    echo "== both installed =="
    install_both() {
        msiexec /i "$(winepath_of "$msi64")" || fail "installing the x64 package ended with '$msi_status'"
        msiexec /i "$(winepath_of "$msi32")" || fail "installing the x86 package beside it ended with '$msi_status'"
        check_installed x64 "$payload64" "$work/files64.tsv" && check_entry x64 "$version"
        check_installed x86 "$payload32" "$work/files32.tsv" && check_entry x86 "$version"
        [ "$(system_path)" = "$path_before;$folder64\\;$folder32\\" ] ||
            fail "with both installed, PATH is '$(system_path)'"
    }
    install_both
    # The one installed first is the one a Command Prompt finds.
    check_found_through_path "$folder64"

    echo "== the x86 package uninstalled, the x64 one intact =="
    msiexec /x "$(winepath_of "$msi32")" || fail "uninstalling the x86 package ended with '$msi_status'"
    check_removed x86
    check_installed x64 "$payload64" "$work/files64.tsv" && check_entry x64 "$version"
    [ "$(system_path)" = "$path_before;$folder64\\" ] || fail "PATH after the x86 uninstall is '$(system_path)'"
    check_found_through_path "$folder64"
    msiexec /x "$(winepath_of "$msi64")" || fail "uninstalling the x64 package ended with '$msi_status'"
    [ "$(system_path)" = "$path_before" ] || fail "PATH after the uninstall is '$(system_path)', not '$path_before'"

    echo "== both installed again, the x64 package uninstalled, the x86 one intact =="
    # Wine's cmd ends its search of PATH at an empty entry, such as the one that
    # Wine's msi left: the second round starts from the PATH the first began with.
    win 60 reg add 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v PATH \
        /t REG_EXPAND_SZ /d "$path_before" /f >/dev/null 2>&1 || fail "cannot set PATH back"
    install_both
    msiexec /x "$(winepath_of "$msi64")" || fail "uninstalling the x64 package ended with '$msi_status'"
    check_removed x64
    check_installed x86 "$payload32" "$work/files32.tsv" && check_entry x86 "$version"
    check_found_through_path "$folder32"
    msiexec /x "$(winepath_of "$msi32")" || fail "uninstalling the x86 package ended with '$msi_status'"
    check_removed x86
    [ "$(system_path)" = "$path_before" ] || fail "PATH after the uninstall is '$(system_path)', not '$path_before'"
    echo "PASSED: the x64 and x86 packages install side by side and uninstall without touching each other"
    exit 0
fi

arch_names "$arch"
check_tables
higher="${version%.*}.$((${version##*.} + 1))"
bash "$here/../windows/build-msi.sh" "$here/../windows/fieldkit.wxs" "$payload" "$higher" "$arch" "$work/higher.msi" ||
    fail "cannot build a package of version $higher"

start_prefix
corvane_simulate "$devsim" "$CORVANE_NS_LAN" "$work/devsim.log" --devices 3 --first-address "$CORVANE_NET.100" ||
    fail "the device simulator did not start"
path_before="$(system_path)"
[ -n "$path_before" ] || fail "the prefix has no system PATH"
folder="$(program_folder "$arch")"

echo "== install =="
msiexec /i "$(winepath_of "$msi")" || fail "msiexec /i ended with '$msi_status'"
check_installed "$arch" "$payload" "$work/files.tsv"
check_entry "$arch" "$version"
[ "$(system_path)" = "$path_before;$folder\\" ] || fail "PATH after the install is '$(system_path)'"
check_found_through_path "$folder"

echo "== the installed programs =="
scan="$(win 60 "$folder\\corvane-scan.exe" | tr -d '\r')" || fail "the installed corvane-scan.exe ended with $?"
[ "$(grep -c "^$CORVANE_NET\.10[0-2] " <<<"$scan")" -eq 3 ] && [ "$(wc -l <<<"$scan")" -eq 3 ] ||
    fail "the installed corvane-scan.exe did not list the three devices: $scan"
mkfifo "$work/reader-path"
"$readersim" >"$work/reader-path" 2>"$work/readersim.log" &
reader_pid=$!
read -r device <"$work/reader-path"
[ -c "$device" ] || fail "the reader simulator printed no device: '$device'"
wine_env_map_com 1 "$device"
reader="$folder\\qarn-reader.exe"
out="$(win 60 "$reader" --port 1 set-time 2027-03-07T14:05:09 | tr -d '\r')" || fail "qarn-reader set-time ended with $?"
[ "$out" = "clock set to 2027-03-07 14:05:09 Sunday" ] || fail "qarn-reader set-time printed '$out'"
out="$(win 60 "$reader" --port 1 time | tr -d '\r')" || fail "qarn-reader time ended with $?"
[[ "$out" == *"2027-03-07 14:05:09"* ]] || fail "the installed qarn-reader.exe read the clock as '$out'"

echo "== upgrade to $higher, then $version refused =="
msiexec /i "$(winepath_of "$work/higher.msi")" || fail "the upgrade to $higher ended with '$msi_status'"
check_installed "$arch" "$payload" "$work/files.tsv"
check_entry "$arch" "$higher"
# Replaced in place: the folder is in PATH once.
[ "$(system_path)" = "$path_before;$folder\\" ] || fail "PATH after the upgrade is '$(system_path)'"
# The launch condition fails the install (ERROR_INSTALL_FAILURE, 1603); its
# message is in the package (check_tables), which Wine shows only with a user interface.
msiexec /i "$(winepath_of "$msi")" && fail "version $version installed over $higher"
[ "$msi_status" = 1603 ] || fail "installing $version over $higher ended with '$msi_status', not 1603"
grep -qa "LaunchConditions" "$work/msiexec.log" || fail "the log shows no launch condition"
echo "version $version over $higher: refused, exit status $msi_status"
check_installed "$arch" "$payload" "$work/files.tsv"
check_entry "$arch" "$higher"

echo "== uninstall =="
msiexec /x "$(winepath_of "$work/higher.msi")" || fail "msiexec /x ended with '$msi_status'"
check_removed "$arch"
[ "$(system_path)" = "$path_before" ] || fail "PATH after the uninstall is '$(system_path)', not '$path_before'"
echo "PASSED: $(basename "$msi") installs, runs, upgrades, refuses the downgrade and uninstalls under Wine"
