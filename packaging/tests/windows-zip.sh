#!/usr/bin/env bash
# The Windows zip as a developer meets it.
#
#   windows-zip.sh make BUILD_DIR ZIP_DIR NAME OBJDUMP
# makes ZIP_DIR/NAME.zip with cpack from a cross build and checks it: exactly
# the expected files; everything in bin/ stripped, naming its debug file,
# which the build keeps in BUILD_DIR/debug/; the DLLs import system DLLs only.
#
#   windows-zip.sh consumer msvc|mingw ARCH ZIP CONSUMER_DIR OBJDUMP TOOL TOOL TOOL HOST_TOOLS|- [EMULATOR...]
# unpacks ZIP into a scratch directory and, using nothing from a build tree,
# builds CONSUMER_DIR/consumer.c against its include/ and lib/:
#   msvc:  TOOLs are clang, lld-link and the system's KERNEL32 import library;
#          compiled for ARCH-pc-windows-msvc, linked with the .lib files;
#   mingw: the first TOOL is the MinGW C compiler; linked with the .dll.a files;
#   cmake_mingw: CONSUMER_DIR's CMake project, configured with the MinGW C
#          compiler (the first TOOL) and CMAKE_PREFIX_PATH the unpacked zip, so
#          that find_package finds the zip's CMake packages; linked with the
#          .dll.a files;
#   cmake_msvc: the same project with clang-cl and lld-link (the first two
#          TOOLs) for ARCH-pc-windows-msvc, the third TOOL as KERNEL32's import
#          library; linked with the .lib files.
# checks the names the program imports from the two DLLs, and, given the
# native build HOST_TOOLS and an EMULATOR (Wine, WINEPREFIX set), runs it with
# the zip's DLLs beside it: COM1 the reader simulator, COM3 a pseudo-terminal
# whose far end answers a line in capitals.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
fail() { echo "FAIL: $*"; exit 1; }

scratch="" sim_pid="" mapped=()
cleanup() {
    if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
    if ((${#mapped[@]})); then rm -f "${mapped[@]}"; fi
    if [ -n "$scratch" ]; then rm -rf "$scratch"; fi
}

# The DLLs a PE file imports, one a line.
imported_dlls() { "$1" -p "$2" | awk '$1 == "DLL" && $2 == "Name:" { print $3 }' | sort -u; }

make_zip() {
    local build="$1" zip_dir="$2" name="$3" objdump_tool="$4"
    rm -rf "$zip_dir"
    mkdir -p "$zip_dir"
    cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$zip_dir" > "$zip_dir/cpack.log" 2>&1 ||
        { cat "$zip_dir/cpack.log"; fail "cpack"; }
    local zip="$zip_dir/$name.zip"
    [ -f "$zip" ] || fail "cpack made no $zip"

    local expected=(
        bin/QARNAPI.dll bin/serwyn.dll bin/Corvane.exe bin/corvane-scan.exe bin/corvane-set.exe bin/qarn-reader.exe
        include/qarnapi.h include/serwyn.h
        lib/QARNAPI.dll.a lib/libserwyn.dll.a lib/QARNAPI.lib lib/serwyn.lib lib/QARNAPI.def lib/serwyn.def
        lib/cmake/qarnapi/qarnapiConfig.cmake lib/cmake/qarnapi/qarnapiConfigVersion.cmake
        lib/cmake/serwyn/serwynConfig.cmake lib/cmake/serwyn/serwynConfigVersion.cmake
        share/doc/fieldkit/README-Windows.txt share/doc/fieldkit/LICENSE.txt
        share/doc/fieldkit/qarnapi.md share/doc/fieldkit/serwyn.md share/doc/fieldkit/corvane.md
        share/doc/fieldkit/corvane-main-window.png share/doc/fieldkit/corvane-win32-main-window.png
        share/doc/fieldkit/corvane-address-dialog.png
        share/doc/fieldkit/examples/read_clock_and_log.c share/doc/fieldkit/examples/serwyn_example.c)
    local listing
    listing=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
    local wanted
    wanted=$(printf "$name/%s\n" "${expected[@]}" | sort)
    if [ "$listing" != "$wanted" ]; then
        diff <(echo "$wanted") <(echo "$listing") || true
        fail "$zip holds other files than the ${#expected[@]} expected"
    fi
    unzip -l "$zip" | sed 's/^/  /'
    printf '%s: %d bytes\n' "$(basename "$zip")" "$(stat -c %s "$zip")"

    local unpacked="$zip_dir/unpacked"
    unzip -q "$zip" -d "$unpacked"
    # Ours keep their debug information in the build; anything else in bin/
    # (a program built without) at least ships stripped.
    local binary file sections
    for binary in "$unpacked/$name"/bin/*; do
        file=$(basename "$binary")
        sections=$("$objdump_tool" -h "$binary")
        if grep -q '\.debug_' <<<"$sections"; then fail "bin/$file keeps debug information"; fi
        case "$file" in
            QARNAPI.dll|serwyn.dll|Corvane.exe|corvane-scan.exe|corvane-set.exe|qarn-reader.exe) ;;
            *) [ -f "$build/debug/$file.debug" ] || continue ;;
        esac
        grep -q '\.gnu_debuglink' <<<"$sections" || fail "bin/$file names no debug file"
        "$objdump_tool" -h "$build/debug/$file.debug" | grep -q '\.debug_info' ||
            fail "$build/debug/$file.debug holds no debug information"
    done
    [ "$(imported_dlls "$objdump_tool" "$unpacked/$name/bin/QARNAPI.dll" | tr '\n' ' ')" = "KERNEL32.dll USER32.dll msvcrt.dll " ] ||
        fail "QARNAPI.dll imports $(imported_dlls "$objdump_tool" "$unpacked/$name/bin/QARNAPI.dll" | tr '\n' ' ')"
    [ "$(imported_dlls "$objdump_tool" "$unpacked/$name/bin/serwyn.dll" | tr '\n' ' ')" = "KERNEL32.dll msvcrt.dll " ] ||
        fail "serwyn.dll imports $(imported_dlls "$objdump_tool" "$unpacked/$name/bin/serwyn.dll" | tr '\n' ' ')"
    rm -rf "$unpacked"
    echo "$name.zip: the expected files, stripped, their debug information in $build/debug"
}

consumer() {
    local kind="$1" arch="$2" zip="$3" source="$4" objdump_tool="$5" tool1="$6" tool2="$7" tool3="$8" host="$9"
    shift 9
    local emulator=("$@")
    scratch=$(mktemp -d)
    trap cleanup EXIT

    unzip -q "$zip" -d "$scratch/unpacked"
    local top
    top=$(echo "$scratch"/unpacked/*)
    [ -d "$top/include" ] || fail "$zip has no single top directory with include/"
    local program="$scratch/run/consumer-$kind.exe"
    mkdir -p "$scratch/run"

    local qarnapi_names serwyn_names
    serwyn_names=(SioReset SioBaud SioParms SioRxClear SioPuts SioRxQue SioGets SioDone)
    if [ "$arch" = i686 ]; then
        qarnapi_names=(_QARNStartAPI@4 _QARNOpenReader@8 _QARNGetTime@8 _QARNCloseReader@4 _QARNTerminateAPI@0)
    else
        qarnapi_names=(QARNStartAPI QARNOpenReader QARNGetTime QARNCloseReader QARNTerminateAPI)
    fi

    echo "== building the $kind consumer against $(basename "$zip")"
    case "$kind" in
        msvc)
            local clang="$tool1" lld_link="$tool2" kernel32="$tool3" seh=()
            # MinGW's KERNEL32 import library has no safe exception handler table.
            [ "$arch" = i686 ] && seh=(/safeseh:no)
            "$clang" --target="$arch-pc-windows-msvc" -ffreestanding -Wall -Wextra -Werror \
                -I "$top/include" -c "$source/consumer.c" -o "$scratch/consumer.obj" ||
                fail "compiling the consumer for $arch-pc-windows-msvc"
            "$lld_link" /nologo /subsystem:console /entry:consumerMain /nodefaultlib "${seh[@]}" \
                "$scratch/consumer.obj" "$top/lib/QARNAPI.lib" "$top/lib/serwyn.lib" "$kernel32" \
                "/out:$program" || fail "linking the consumer with lld-link and the zip's .lib files"
            ;;
        mingw)
            local cc="$tool1" entry=consumerMain
            [ "$arch" = i686 ] && entry=_consumerMain
            "$cc" -ffreestanding -nostdlib -Wall -Wextra -Werror -I "$top/include" "$source/consumer.c" \
                "$top/lib/QARNAPI.dll.a" "$top/lib/libserwyn.dll.a" -lkernel32 "-Wl,-e,$entry" -o "$program" ||
                fail "building the consumer with MinGW and the zip's .dll.a files"
            ;;
        cmake_mingw | cmake_msvc)
            local options=(-DCMAKE_SYSTEM_NAME=Windows -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$top")
            local import_libraries=("$top/lib/QARNAPI.dll.a" "$top/lib/libserwyn.dll.a")
            if [ "$kind" = cmake_msvc ]; then
                # No Windows SDK here: no compiler check (it links with the
                # SDK's libraries), KERNEL32 from MinGW, and no manifest (no mt.exe).
                options+=(-DCMAKE_C_COMPILER="$tool1" -DCMAKE_C_COMPILER_TARGET="$arch-pc-windows-msvc"
                          -DCMAKE_LINKER="$tool2" -DCMAKE_C_COMPILER_WORKS=ON -DCMAKE_C_STANDARD_LIBRARIES=
                          -DCMAKE_EXE_LINKER_FLAGS=/manifest:no -DFIELDKIT_KERNEL32="$tool3")
                import_libraries=("$top/lib/QARNAPI.lib" "$top/lib/serwyn.lib")
            else
                options+=(-DCMAKE_C_COMPILER="$tool1")
            fi
            cmake -S "$source" -B "$scratch/cmake" "${options[@]}" >"$scratch/cmake.log" 2>&1 ||
                { cat "$scratch/cmake.log"; fail "configuring the $kind consumer with find_package in the unpacked zip"; }
            cmake --build "$scratch/cmake" >"$scratch/cmake-build.log" 2>&1 ||
                { cat "$scratch/cmake-build.log"; fail "building the $kind consumer"; }
            # The imported targets chose the import libraries of this compiler
            # (the link line, or the response file it names).
            local library link_line link_dir="$scratch/cmake/CMakeFiles/consumer.dir"
            link_line="$(cat "$link_dir/link.txt"; if [ -f "$link_dir/linkLibs.rsp" ]; then cat "$link_dir/linkLibs.rsp"; fi)"
            for library in "${import_libraries[@]}"; do
                grep -qF "$library" <<<"$link_line" || fail "the $kind consumer was not linked with $library: $link_line"
            done
            cp "$scratch/cmake/consumer.exe" "$program"
            ;;
        *) fail "no consumer kind $kind" ;;
    esac
    bash "$root/readerapi/tests/check_dll_imports.sh" "$objdump_tool" "$program" QARNAPI.dll "${qarnapi_names[@]}"
    bash "$root/readerapi/tests/check_dll_imports.sh" "$objdump_tool" "$program" serwyn.dll "${serwyn_names[@]}"

    if [ "$host" = - ]; then
        echo "built and linked; not run: the build has no emulator, or no native build with the simulators"
        return 0
    fi
    [ -n "${WINEPREFIX:-}" ] || fail "WINEPREFIX is not set"
    # shellcheck source=../../scripts/wine-env.sh
    source "$root/scripts/wine-env.sh"
    cp "$top/bin/QARNAPI.dll" "$top/bin/serwyn.dll" "$scratch/run/"

    mkfifo "$scratch/sim-path"
    "$host/tools/qarn-readersim/qarn-readersim" > "$scratch/sim-path" 2>/dev/null &
    sim_pid=$!
    local reader
    read -r reader < "$scratch/sim-path"
    [ -c "$reader" ] || fail "the reader simulator printed no device: '$reader'"
    mapped=("$WINEPREFIX/dosdevices/com1" "$WINEPREFIX/dosdevices/com3")
    wine_env_map_com 1 "$reader"

    echo "== running it: COM1 the reader simulator, COM3 a pseudo-terminal peer"
    local before after out
    before=$(date '+year %y, %m-%d')
    # The peer names its pseudo-terminal in COM3; that becomes the prefix's COM3.
    out=$("$host/serial/examples/serwyn-peer" bash -c \
              'ln -sfn "$COM3" "$WINEPREFIX/dosdevices/com3" && exec "$@"' map-com3 \
              "${emulator[@]}" "$program" | tr -d '\r') || { echo "$out"; fail "the $kind consumer exited with an error"; }
    after=$(date '+year %y, %m-%d')
    echo "$out"
    # Opening the reader set its clock to the computer's local time.
    grep -q -e "^consumer: reader clock: $before " -e "^consumer: reader clock: $after " <<<"$out" ||
        fail "no reader clock of today"
    grep -qx "consumer: COM3 sent ping, received PING" <<<"$out" || fail "no answer from COM3"
    echo "the $kind consumer ran against the unpacked DLLs"
}

case "${1:-}" in
    make) shift; make_zip "$@" ;;
    consumer) shift; consumer "$@" ;;
    *) echo "usage: windows-zip.sh make|consumer ..." >&2; exit 2 ;;
esac
