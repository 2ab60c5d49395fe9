#!/usr/bin/env bash
# The main job on the built-in sample: show the sample superfile's information
# through the module, then flash four simulated phones from the sample releases
# in parallel, verify them and print a per-phone summary.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
mkdir -p out
build/bin/mkshx examples/sample.json -o out/sample.shx
build/bin/orxflash info out/sample.shx
build/bin/orxflash demo --dir out/demo
