#!/usr/bin/env bash
# Builds and runs every test: an AddressSanitizer + UndefinedBehaviorSanitizer
# build of everything, a ThreadSanitizer build of the threaded tests, the
# window on real serial drivers in a QEMU guest, and a short libFuzzer run of
# each fuzz target when clang is present. The sanitizer and fuzz builds treat
# warnings in our own code as errors (KELVALOG_WERROR).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" x11-utils clang libclang-rt-14-dev
ensure_office_packages

root=$PWD
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=suppressions=$root/scripts/tsan.supp:halt_on_error=1:second_deadlock_stack=1

# --- Locales and an unprivileged user for the locale and port tests ---------
# The window's tests run once per locale (CTest label "locale") with LC_ALL and
# LANG set; the locales are compiled into the archive without touching the
# machine's default. The port dialog test runs part of itself as a system user
# outside the dialout group (setpriv), to meet a port refused for permission,
# and lists the ports under strace to see that it opens none of them.
echo "== Locales and test user =="
ensure_packages locales util-linux passwd strace
for name in de_DE nl_NL en_US; do
    if ! locale -a | grep -qx "${name}.utf8"; then
        localedef -i "$name" -c -f UTF-8 "${name}.UTF-8"
    fi
done
if ! getent passwd kelvalog-test >/dev/null; then
    useradd --system --no-create-home --shell /usr/sbin/nologin kelvalog-test
fi
if id -nG kelvalog-test | grep -qw dialout; then
    echo "kelvalog-test must not be in the dialout group" >&2
    exit 1
fi
# ---------------------------------------------------------------------------

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKELVALOG_SANITIZE=address \
    -DKELVALOG_WERROR=ON "${OFFICE_CMAKE_ARGS[@]}" "${COMPILER_LAUNCHER[@]}"
cmake --build build/asan
ctest --test-dir build/asan --output-on-failure -j2

# The link below its widgets needs Qt Core only: a test program that links
# kelvalog_link alone must not load Qt Widgets.
echo "== Link layer without widgets =="
if ldd build/asan/tests/link/test_dispatcher_scripted | grep -q libQt6Widgets; then
    echo "test_dispatcher_scripted (kelvalog_link only) loads Qt Widgets" >&2
    exit 1
fi
# Test seams live in tests/: the program itself carries none of them.
if nm -C build/asan/src/app/kelvalog | grep -qi 'testclose'; then
    echo "the kelvalog program carries the tests' close hook" >&2
    exit 1
fi

echo "== ThreadSanitizer build (threaded tests) =="
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVALOG_SANITIZE=thread \
    -DKELVALOG_WERROR=ON "${COMPILER_LAUNCHER[@]}"
cmake --build build/tsan
ctest --test-dir build/tsan --output-on-failure --no-tests=ignore -L threaded

echo "== Real serial drivers (a QEMU guest) =="
stage_start=$SECONDS
bash scripts/realserial.sh build/asan
echo "Real serial drivers stage: $((SECONDS - stage_start)) s"

if command -v clang++ >/dev/null; then
    echo "== libFuzzer runs =="
    cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKELVALOG_FUZZ=ON -DKELVALOG_WERROR=ON \
        "${COMPILER_LAUNCHER[@]}"
    cmake --build build/fuzz
    for fuzzer in build/fuzz/fuzz/fuzz_*; do
        [ -f "$fuzzer" ] && [ -x "$fuzzer" ] || continue
        name=$(basename "$fuzzer")
        corpus=build/fuzz/corpus/$name
        mkdir -p "$corpus"
        seeds=fuzz/seeds/$name
        [ -d "$seeds" ] || seeds=
        echo "-- $name (30 s)"
        log=build/fuzz/$name.log
        if ! "$fuzzer" -max_total_time=30 -print_final_stats=1 "$corpus" $seeds >"$log" 2>&1; then
            tail -n 60 "$log"
            echo "$name found a fault"
            exit 1
        fi
        grep -E '^stat::number_of_executed_units' "$log" || true
    done
fi
# ---- Debian package: install rules, control fields, the unpacked program ----
echo "== Debian package =="
ensure_packages "${PACKAGING_PACKAGES[@]}"
bash scripts/package.sh
debs=(build/release/kelvalog_*_amd64.deb)
deb=${debs[0]}
dpkg-deb -c "$deb" | awk '{print $6}' >build/release/package-files.txt
for f in ./usr/bin/kelvalog ./usr/bin/kelvalog-boardsim \
         ./usr/share/applications/kelvalog.desktop \
         ./usr/share/icons/hicolor/scalable/apps/kelvalog.svg \
         ./usr/share/icons/hicolor/256x256/apps/kelvalog.png \
         ./usr/share/doc/kelvalog/README.md; do
    grep -qxF "$f" build/release/package-files.txt || { echo "package lacks $f"; exit 1; }
done
version=$(dpkg-deb -f "$deb" Version)
[ "$(dpkg-deb -f "$deb" Package)" = kelvalog ] || { echo "wrong package name"; exit 1; }
[ "$(dpkg-deb -f "$deb" Architecture)" = amd64 ] || { echo "wrong architecture"; exit 1; }
[ "$(basename "$deb")" = "kelvalog_${version}_amd64.deb" ] || { echo "wrong file name $deb"; exit 1; }
depends=$(dpkg-deb -f "$deb" Depends)
names() { tr ',' '\n' | sed 's/^ *//; s/[ (].*//'; }
for dep in fonts-liberation2 libc6 libqt6widgets6 libstdc++6; do
    names <<<"$depends" | grep -qxF "$dep" || { echo "Depends lacks $dep: $depends"; exit 1; }
done
dpkg-deb -f "$deb" Recommends | names | grep -qxF libreoffice-calc \
    || { echo "Recommends lacks libreoffice-calc"; exit 1; }
scratch=build/release/package-check
rm -rf "$scratch"
dpkg -x "$deb" "$scratch"
answer=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$scratch/usr/bin/kelvalog" --version)
[ "$answer" = "kelvalog $version" ] || { echo "unpacked --version says '$answer', package is $version"; exit 1; }
desktop-file-validate "$scratch/usr/share/applications/kelvalog.desktop"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    "$scratch/usr/share/doc/kelvalog/copyright" || { echo "no machine-readable copyright"; exit 1; }
# Errors fail the stage; warnings and notes are shown.
lintian --fail-on error "$deb"
file "$scratch/usr/share/icons/hicolor/256x256/apps/kelvalog.png" | grep -q "256 x 256" \
    || { echo "the PNG icon is not 256 px"; exit 1; }
echo "$(basename "$deb"): Depends: $depends"
# ---- end of Debian package ----
echo "All test stages passed."
