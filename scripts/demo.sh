#!/usr/bin/env bash
# Installs what is missing, builds the 64-bit tree and runs the demonstration.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh build
exec bash scripts/demo-run.sh build
