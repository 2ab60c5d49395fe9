#!/usr/bin/env bash
# The main job on the built-in sample: build the sample superfile from
# examples/sample.json with mkshx, then show its information through the
# module with orxflash.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
mkdir -p out
build/bin/mkshx examples/sample.json -o out/sample.shx
build/bin/orxflash info out/sample.shx
