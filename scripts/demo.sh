#!/usr/bin/env bash
# Installs what is missing, builds the 64-bit and the 32-bit (-m32) trees and
# runs the demonstration. The 32-bit tree's health probe runs through qemu-i386
# where the kernel does not run 32-bit programs (scripts/ia32.sh sets that up).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/ia32.sh
bash scripts/build.sh build
bash scripts/build.sh build32
exec bash scripts/demo-run.sh build build32
