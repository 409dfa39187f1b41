#!/usr/bin/env bash
# Installs what is missing on Debian 12, by need:
#   install-deps.sh demo    building the Linux programs and showing the demo
#   install-deps.sh test    everything the test suite needs (the default)
# Runs apt-get only when a package is missing. The 32-bit Windows stage needs
# 32-bit Wine (wine32:i386) and, where the kernel runs no 32-bit programs,
# qemu-user to run them (scripts/stages/win32.sh registers it while it runs).
set -euo pipefail
need="${1:-test}"

demo_packages=(
  g++ cmake make pkg-config
  qt6-base-dev
  xvfb xauth imagemagick
  iproute2 procps
)
test_packages=(
  "${demo_packages[@]}"
  clang libclang-rt-14-dev llvm lld unzip
  libgtest-dev libgmock-dev libbenchmark-dev
  x11-apps
  mingw-w64 wine wine64 googletest
  dpkg-dev lintian desktop-file-utils man-db   # man-db: the package test renders the man pages
  openbox xdotool
  python3 file
  wixl msitools
  strace
  qemu-user wine32:i386
)
case "$need" in
  demo) packages=("${demo_packages[@]}") ;;
  test) packages=("${test_packages[@]}") ;;
  *) echo "usage: $0 [demo|test]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  # Packages of another architecture need it added first (once).
  for p in "${missing[@]}"; do
    [[ $p == *:* ]] || continue
    arch="${p##*:}"
    [ "$arch" = "$(dpkg --print-architecture)" ] && continue
    dpkg --print-foreign-architectures | grep -qx "$arch" || $sudo dpkg --add-architecture "$arch"
  done
  # A mirror in the middle of a sync serves an index that does not match its
  # Release file, and apt-get update fails for that index alone. Such a failure
  # usually passes within minutes: ask again. If it persists, install without
  # the suites whose indexes did not arrive. With one architecture's index of a
  # suite missing, that suite's newer versions of the other would break the
  # same-version rule of multi-arch packages (zlib1g and zlib1g:i386 alike).
  install_options=()
  update_log="$(mktemp)"
  for attempt in 1 2 3; do
    $sudo apt-get update -qq 2>"$update_log" && break
    cat "$update_log" >&2
    if [ "$attempt" -lt 3 ]; then
      echo "install-deps: apt-get update failed (attempt $attempt of 3); asking again in 30 s" >&2
      sleep 30
      continue
    fi
    mapfile -t broken_suites < <(grep -o 'Failed to fetch [^ ]*/dists/[^/ ]*/' "$update_log" |
                                 sed 's|.*/dists/||; s|/$||' | sort -u)
    ((${#broken_suites[@]})) || { echo "install-deps: apt-get update failed" >&2; exit 1; }
    echo "install-deps: apt-get update still fails; installing without ${broken_suites[*]}" >&2
    preferences="$(mktemp -d)"
    cp -r /etc/apt/preferences.d/. "$preferences/" 2>/dev/null || true
    for suite in "${broken_suites[@]}"; do
      printf 'Package: *\nPin: release n=%s\nPin-Priority: -1\n\n' "$suite" >>"$preferences/zz-install-deps-unfetched"
    done
    install_options=(-o "Dir::Etc::PreferencesParts=$preferences")
  done
  rm -f "$update_log"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${install_options[@]}" "${missing[@]}"
  [ -z "${preferences:-}" ] || rm -rf "$preferences"
fi
