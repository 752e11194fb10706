#!/usr/bin/env bash
# Installs what is missing, builds everything into build/ and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")"
. ./scripts_common.sh
install_missing
build
cd build
ctest --output-on-failure -j "$(nproc)" "$@"
