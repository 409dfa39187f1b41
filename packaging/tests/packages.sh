#!/usr/bin/env bash
# Builds the Debian packages from a build tree, unpacks them into a scratch
# root and uses them there as a user would: a consumer program built once
# through pkg-config and once through find_package, run against the unpacked
# libraries (a pseudo-terminal as COM1; the unpacked reader simulator), and
# qarn-reader the same way;
# Corvane --version without a display; the desktop entry; lintian on every
# package. Exit 77 (skipped) when the Debian tools are missing.
# Usage: packages.sh BUILD_DIR CONSUMER_SOURCE_DIR with-corvane|without-corvane
# (with-corvane: the build has the Qt front end, so its package must be there).
set -euo pipefail
source "$(dirname "$0")/../../scripts/script-lib.sh"
build="$1"
consumer_src="$2"
corvane="$3"
case "$corvane" in
    with-corvane | without-corvane) ;;
    *) fail "the third argument is with-corvane or without-corvane, not '$corvane'" ;;
esac

for tool in cpack dpkg-deb lintian desktop-file-validate pkg-config cc; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done

scratch=$(mktemp -d)
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
    rm -rf "$scratch"
}
trap cleanup EXIT

echo "== packages"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/debs" > "$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack"; }
expected=(libserwyn1 libserwyn-dev libqarnapi1 libqarnapi-dev fieldkit-tools)
[ "$corvane" = with-corvane ] && expected+=(corvane)
root="$scratch/root"
for package in "${expected[@]}"; do
    deb=$(ls "$scratch"/debs/"${package}"_*.deb 2>/dev/null) || fail "no package $package"
    printf '%-16s %6d bytes  Depends: %s\n' "$package" "$(stat -c %s "$deb")" "$(dpkg-deb -f "$deb" Depends)"
    dpkg-deb -x "$deb" "$root"
done
version=$(dpkg-deb -f "$scratch"/debs/libserwyn1_*.deb Version)
for lib in serwyn qarnapi; do
    depends=$(dpkg-deb -f "$scratch"/debs/lib${lib}-dev_*.deb Depends)
    [[ "$depends" == *"lib${lib}1 (= $version)"* ]] || fail "lib${lib}-dev does not depend on lib${lib}1 (= $version): $depends"
done

libdir=$(dirname "$(find "$root/usr/lib" -name libserwyn.so.1 -print -quit)")
[ -n "$libdir" ] && [ "$libdir" != . ] || fail "libserwyn.so.1 is not in the packages"
for lib in serwyn qarnapi; do
    [ "$(readlink "$libdir/lib$lib.so")" = "lib$lib.so.1" ] || fail "lib$lib.so does not link to lib$lib.so.1"
    soname=$(LC_ALL=C objdump -p "$libdir/lib$lib.so.1" | awk '$1 == "SONAME" { print $2 }')
    [ "$soname" = "lib$lib.so.1" ] || fail "lib$lib.so.1 has the SONAME '$soname'"
done

for lib in serwyn qarnapi; do
    grep -qx 'prefix=/usr' "$libdir/pkgconfig/$lib.pc" || fail "$lib.pc does not name the prefix /usr"
done

echo "== consumers through pkg-config"
export PKG_CONFIG_LIBDIR="$libdir/pkgconfig" PKG_CONFIG_SYSROOT_DIR="$root"
mkdir "$scratch/pc"
for lib in serwyn qarnapi; do
    # shellcheck disable=SC2046
    cc -Wall -Werror -o "$scratch/pc/${lib}_consumer" "$consumer_src/${lib}_consumer.c" \
        $(pkg-config --cflags --libs "$lib") || fail "building the $lib consumer through pkg-config"
done
unset PKG_CONFIG_LIBDIR PKG_CONFIG_SYSROOT_DIR

echo "== consumers through find_package"
cmake -S "$consumer_src" -B "$scratch/cm" -DCMAKE_PREFIX_PATH="$root/usr" > "$scratch/cm.log" 2>&1 ||
    { cat "$scratch/cm.log"; fail "configuring the consumers with find_package"; }
cmake --build "$scratch/cm" > "$scratch/cm-build.log" 2>&1 ||
    { cat "$scratch/cm-build.log"; fail "building the consumers with find_package"; }

echo "== running them against the unpacked libraries"
mkfifo "$scratch/sim-path"
"$root/usr/bin/qarn-readersim" > "$scratch/sim-path" 2>/dev/null &
sim_pid=$!
read -r reader < "$scratch/sim-path"
[ -c "$reader" ] || fail "the unpacked reader simulator printed no device: '$reader'"
for consumer in "$scratch"/pc/*_consumer "$scratch"/cm/*_consumer; do
    [ -x "$consumer" ] || fail "missing $consumer"
    # The unpacked library must be the one loaded, not one from the build tree.
    loaded=$(LD_LIBRARY_PATH="$libdir" ldd "$consumer" | awk '/lib(serwyn|qarnapi)/ { print $3 }')
    [[ "$loaded" == "$libdir"/* ]] || fail "$consumer loads '$loaded'"
    before=$(date '+year %y, %m-%d')
    out=$(COM1="$reader" LD_LIBRARY_PATH="$libdir" "$consumer") || fail "$consumer: $out"
    after=$(date '+year %y, %m-%d')
    echo "$out"
    case "$consumer" in
        *serwyn*) [ "$out" = "serwyn consumer: COM1 sent ping, received pong" ] || fail "unexpected: $out" ;;
        # Opening the reader sets its clock to the computer's local time.
        *qarnapi*) [[ "$out" == "qarnapi consumer: reader clock: $before "* ||
                      "$out" == "qarnapi consumer: reader clock: $after "* ]] || fail "unexpected: $out" ;;
    esac
done

# The reader from the command line, on the unpacked library.
loaded=$(LD_LIBRARY_PATH="$libdir" ldd "$root/usr/bin/qarn-reader" | awk '/libqarnapi/ { print $3 }')
[[ "$loaded" == "$libdir"/* ]] || fail "qarn-reader loads '$loaded'"
out=$(COM1="$reader" LD_LIBRARY_PATH="$libdir" "$root/usr/bin/qarn-reader" file-lengths | tr '\n' ' ') ||
    fail "qarn-reader file-lengths: $out"
echo "qarn-reader file-lengths: $out"
[ "$out" = "file 1: 1024 bytes file 2: 512 bytes file 3: 400 bytes " ] || fail "unexpected: $out"

echo "== programs"
export LD_LIBRARY_PATH="$libdir"
for tool in corvane-devsim qarn-readersim qarn-reader; do
    [ "$("$root/usr/bin/$tool" --version)" = "$tool $version" ] || fail "$tool --version"
    # grep reads to the end, so the program never writes into a closed pipe.
    "$root/usr/bin/$tool" --help | grep "^usage: $tool" >/dev/null || fail "$tool --help"
    if "$root/usr/bin/$tool" --no-such-option > /dev/null 2> "$scratch/err"; then fail "$tool took an unknown option"; fi
    grep -q "unknown option: --no-such-option" "$scratch/err" || fail "$tool: $(cat "$scratch/err")"
done
unset LD_LIBRARY_PATH
if [ "$corvane" = with-corvane ]; then
    [ -x "$root/usr/bin/Corvane" ] || fail "the corvane package holds no usr/bin/Corvane"
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/Corvane" --version) ||
        fail "Corvane --version exited with $?"
    [ "$out" = "Corvane 1.0.0.1" ] || fail "Corvane --version printed '$out'"
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/Corvane" --help | grep "^Usage: Corvane" >/dev/null ||
        fail "Corvane --help"
    echo "Corvane --version: $out"
    desktop-file-validate "$root/usr/share/applications/corvane.desktop" || fail "desktop-file-validate"
    for icon in 16x16/apps/corvane.png 32x32/apps/corvane.png 48x48/apps/corvane.png scalable/apps/corvane.svg; do
        [ -s "$root/usr/share/icons/hicolor/$icon" ] || fail "missing icon $icon"
    done
    # The command-line programs ship in the same package, each with its page.
    for tool in corvane-scan corvane-set; do
        [ "$(dpkg -c "$scratch"/debs/corvane_*.deb | grep -c "\./usr/bin/$tool\$")" -eq 1 ] ||
            fail "$tool is not in the corvane package"
        [ "$("$root/usr/bin/$tool" --version)" = "$tool 1.0.0.1" ] || fail "$tool --version"
        "$root/usr/bin/$tool" --help | grep "^usage: $tool" >/dev/null || fail "$tool --help"
        page="$root/usr/share/man/man1/$tool.1.gz"
        [ -s "$page" ] || fail "no man page for $tool"
        LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" >/dev/null 2>"$scratch/man.err" ||
            fail "man $tool: $(cat "$scratch/man.err")"
        [ -s "$scratch/man.err" ] && fail "man $tool warns: $(cat "$scratch/man.err")"
    done
fi

echo "== lintian"
lintian_status=0
lintian --fail-on error "$scratch"/debs/*.deb > "$scratch/lintian.log" 2>&1 || lintian_status=$?
grep -v '^running with root privileges' "$scratch/lintian.log" || true
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors"
echo "packages built, installed in a scratch root, linked and run"
