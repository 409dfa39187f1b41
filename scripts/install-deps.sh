#!/usr/bin/env bash
# Installs what is missing on Debian 12, by need:
#   install-deps.sh demo      building the Linux programs and showing the demo
#   install-deps.sh test      everything the test suite needs (the default)
#   install-deps.sh STAGE...  what those stages of scripts/test.sh need
#                             (linux, sanitize, fuzz, win64, win32)
# Runs apt-get only when a package is missing. The 32-bit Windows stage needs
# 32-bit Wine (wine32:i386) and, where the kernel runs no 32-bit programs,
# qemu-user to run them (scripts/stages/win32.sh registers it while it runs).
# On failure apt's own messages are on standard error, and the status is 1.
# FIELDKIT_DEPS_SIMULATE=1 goes the same way as if none of the packages were
# installed, but only simulates the install (apt-get -s; the indexes are
# still updated): with APT_CONFIG naming preferences that refuse a package,
# it shows what a machine without that package would meet.
set -euo pipefail

demo_packages=(
  g++ cmake make pkg-config
  qt6-base-dev
  xvfb xauth imagemagick
  iproute2 procps
)
linux_packages=(
  "${demo_packages[@]}"
  libgtest-dev libgmock-dev libbenchmark-dev
  x11-apps openbox xdotool
  dpkg-dev lintian desktop-file-utils man-db   # man-db: the package test renders the man pages
  python3 file unzip strace
)
fuzz_packages=(cmake make pkg-config python3 clang libclang-rt-14-dev llvm lld)
# The Windows stages' tests talk to the Linux build's simulators.
win64_packages=("${linux_packages[@]}" mingw-w64 googletest wine wine64 wixl msitools)
win32_packages=("${win64_packages[@]}" qemu-user wine32:i386)

packages=()
(($#)) || set -- test
for need; do
    case "$need" in
        demo) packages+=("${demo_packages[@]}") ;;
        linux | sanitize) packages+=("${linux_packages[@]}") ;;
        fuzz) packages+=("${fuzz_packages[@]}") ;;
        win64) packages+=("${win64_packages[@]}") ;;
        win32) packages+=("${win32_packages[@]}") ;;
        test) packages+=("${win32_packages[@]}" "${fuzz_packages[@]}") ;;
        *) echo "usage: $0 [demo | test | STAGE...]" >&2; exit 2 ;;
    esac
done
mapfile -t packages < <(printf '%s\n' "${packages[@]}" | sort -u)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
install=(install -y -qq --no-install-recommends)
missing=()
if [ -n "${FIELDKIT_DEPS_SIMULATE:-}" ]; then
    install=(-s "${install[@]}" --reinstall)
    missing=("${packages[@]}")
else
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
fi
((${#missing[@]})) || exit 0
echo "Installing${FIELDKIT_DEPS_SIMULATE:+ (simulated)}: ${missing[*]}"
# Packages of another architecture need it added first (once).
if [ -z "${FIELDKIT_DEPS_SIMULATE:-}" ]; then
    for p in "${missing[@]}"; do
        [[ $p == *:* ]] || continue
        arch="${p##*:}"
        [ "$arch" = "$(dpkg --print-architecture)" ] && continue
        dpkg --print-foreign-architectures | grep -qx "$arch" || $sudo dpkg --add-architecture "$arch"
    done
fi
# A mirror in the middle of a sync serves an index that does not match its
# Release file, and apt-get update fails for that index alone; it usually
# passes within minutes: ask again. If it persists, install from the indexes
# apt has (for the broken one, its last good copy, if any). A package
# that then cannot be installed fails with apt's reason; nothing is pinned,
# as a pin cannot undo versions already installed from the broken suite.
update_log="$(mktemp)"
trap 'rm -f "$update_log"' EXIT
for attempt in 1 2 3; do
    $sudo apt-get update -qq 2>"$update_log" && break
    cat "$update_log" >&2
    if ((attempt < 3)); then
        echo "install-deps: apt-get update failed (attempt $attempt of 3); asking again in 30 s" >&2
        sleep 30
    else
        echo "install-deps: apt-get update still fails; installing from the indexes apt has" >&2
    fi
done
DEBIAN_FRONTEND=noninteractive $sudo apt-get "${install[@]}" "${missing[@]}"
