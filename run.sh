#!/usr/bin/env bash
# Installs what is missing, builds the release configuration and starts Pictorium.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
install_missing "${BUILD_PACKAGES[@]}"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPICTORIUM_TESTS=OFF -DPICTORIUM_BENCH=OFF
cmake --build build/release -j"$(nproc)"
exec build/release/pictorium "$@"
