#!/usr/bin/env bash
# Checks that a parent project which adds this repository with add_subdirectory
# compiles our code with our warnings but not as errors, unless it asks for
# that with FIELDKIT_WERROR, so a newer compiler's new warning does not stop
# its build. Reads the compile flags CMake writes for one of our targets.
#   check-subproject-warnings.sh SOURCE_DIR CMAKE
set -euo pipefail
source_dir="$1" cmake_tool="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/parent"
cat > "$work/parent/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(parent C CXX)
add_subdirectory("$source_dir" fieldkit)
CMAKE

# flags of serwyn's port functions in a parent's build directory
flags_of() {
    "$cmake_tool" -G "Unix Makefiles" -S "$work/parent" -B "$work/$1" -DBUILD_TESTING=OFF "${@:2}" \
        > "$work/$1.log" 2>&1 || { cat "$work/$1.log"; echo "configuring the parent project failed"; exit 1; }
    grep '^CXX_FLAGS' "$work/$1/fieldkit/serial/CMakeFiles/serwyn_core.dir/flags.make"
}
default=$(flags_of default)
grep -q -e '-Wall' <<<"$default" || { echo "no -Wall in a parent's build: $default"; exit 1; }
if grep -q -e '-Werror' <<<"$default"; then echo "-Werror in a parent's build: $default"; exit 1; fi
asked=$(flags_of asked -DFIELDKIT_WERROR=ON)
grep -q -e '-Werror' <<<"$asked" || { echo "no -Werror with FIELDKIT_WERROR=ON: $asked"; exit 1; }
echo "a parent project gets our warnings, as errors only with FIELDKIT_WERROR=ON"
