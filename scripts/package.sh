#!/usr/bin/env bash
# Builds the Debian package from a release build in build/release:
# build/release/kelvalog_<version>_amd64.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${PACKAGING_PACKAGES[@]}"
ensure_office_packages

# The package holds the program and the simulator only: installing need not
# build the tests and benchmarks first.
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${OFFICE_CMAKE_ARGS[@]}" "${COMPILER_LAUNCHER[@]}"
cmake --build build/release --target kelvalog kelvalog-boardsim
rm -f build/release/kelvalog_*.deb
(cd build/release && cpack -G DEB)
ls build/release/kelvalog_*.deb
