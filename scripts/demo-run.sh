#!/usr/bin/env bash
# scripts/demo-run.sh TREE: the demonstration, run against an already built tree.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=$(cd "${1:-build}" && pwd)

# --- attribute-discovery plug-in --------------------------------------------
# A small host loads libAttrDiscovery.so as the configuration wizard does and
# prints the discoverable attributes and two documents, with the discovery
# script taken from discovery/sample/ instead of the installed one.
demo_discovery() {
  echo "=== attribute-discovery plug-in"
  QEN_ATTRSCAN_SCRIPT="$PWD/discovery/sample/attrscan.pl" \
    "$tree/discovery/attrdiscover_demo" "$tree/discovery/libAttrDiscovery.so" \
    Instances Listeners_zur1 instances
}
demo_discovery
