#!/usr/bin/env bash
# scripts/demo-run.sh TREE: the demonstration, run against an already built tree.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=$(cd "${1:-build}" && pwd)
echo "nothing to demonstrate yet in $tree"
