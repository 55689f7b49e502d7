#!/usr/bin/env bash
# Installs what is missing, builds the test configuration (AddressSanitizer and
# UndefinedBehaviorSanitizer), runs the fuzz targets briefly and every test.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

scripts/check-format.sh

jobs=$(nproc)
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPICTORIUM_SANITIZE=ON
cmake --build build/test -j"$jobs"

if command -v clang++-14 >/dev/null && [ "${FUZZ_SECONDS:-60}" != 0 ]; then
  cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    -DPICTORIUM_FUZZ=ON -DPICTORIUM_TESTS=OFF -DPICTORIUM_BENCH=OFF
  cmake --build build/fuzz -j"$jobs"
  scripts/run-fuzz.sh build/fuzz "${FUZZ_SECONDS:-60}"
fi

export QT_QPA_PLATFORM=offscreen
ctest --test-dir build/test --output-on-failure -j"$jobs"

# The default Release configuration, as a newcomer builds it, builds too; the
# window's tests run there again, since some faults show only when optimised,
# and the address-space limits, which a sanitizer build cannot run under.
cmake -S . -B build/release-test -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build/release-test -j"$jobs"
ctest --test-dir build/release-test -j"$jobs" --output-on-failure --repeat until-fail:3 \
  -R '^(FindPanel|FolderTreeTest|KXListBox|MainWindow|MainWindowCommands|MainWindowHelp|Commands|CommandLineRun|Dialogs|DirDialog|DesktopDirDialog|ToolBar|WindowManagerRun|MemoryLimits)\.'

