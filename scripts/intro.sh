#!/usr/bin/env bash
# Installs what is missing, builds the intro and runs it. It needs a
# display; SDL_VIDEODRIVER=offscreen runs it headless on purpose.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh release varnkol
exec build/release/src/intro/varnkol
