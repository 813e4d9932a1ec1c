#!/usr/bin/env bash
# Installs what is missing, builds the intro and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh release varnkol
exec build/release/src/intro/varnkol
