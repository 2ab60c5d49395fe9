#!/usr/bin/env bash
# The host window on the built-in sample with two simulated phones that take it. Builds
# only what it runs, in build/ like scripts/run-sample.sh. Without a display it
# runs under Xvfb and saves a screenshot instead (out/orxflash-gui.png).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build -DCMAKE_BUILD_TYPE=Release --target orxflash-gui ORX_FP_Flash ORX_FP_FlashDevApi
phones=(--sim examples/phones/flash-hmq-vintrel.json --sim examples/phones/kestrova-t340e.json)
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/orxflash-gui --sample "${phones[@]}" "$@"
fi
mkdir -p out
echo "No display: running under Xvfb and saving the window to out/orxflash-gui.png"
xvfb-run -a -s "-screen 0 1280x1024x24" \
  build/bin/orxflash-gui --sample "${phones[@]}" --screenshot out/orxflash-gui.png "$@"
echo "Saved out/orxflash-gui.png"
