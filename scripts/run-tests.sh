#!/usr/bin/env bash
# Runs the whole suite headless in the given build folder.
set -euo pipefail
build=${1:?build folder}
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j 2 --timeout 900
