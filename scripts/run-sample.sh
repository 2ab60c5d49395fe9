#!/usr/bin/env bash
# The main job on the built-in sample: show the sample superfile's information
# through the module, then flash four simulated phones from the sample releases
# in parallel, verify them and print a per-phone summary. Builds only what it
# runs (the module, the host's and the device library come with it), in the
# same build/ folder and configuration as scripts/run-tests.sh's first build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build -DCMAKE_BUILD_TYPE=Release --target mkshx orxflash ORX_FP_Flash
mkdir -p out
build/bin/mkshx examples/sample.json -o out/sample.shx
build/bin/orxflash info out/sample.shx
build/bin/orxflash demo --dir out/demo
