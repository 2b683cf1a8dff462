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

# --- Viruze listener agent ---------------------------------------------------
# A process that looks like a listener ("<Home>/bin/vuzlsnr LISTENER -inherit",
# really the test program argvsleep) and a configuration with that listener
# and one that does not run. ListenerAgent runs three cycles, one second apart;
# after the second the listener is killed, so the third reports no listener
# (state 5) and the agent log shows the remembered process gone.
demo_listener() {
  echo "=== Viruze listener agent"
  local work home pid
  work=$(mktemp -d /tmp/qen-demo-listener.XXXXXX)
  home="$work/viruze/product/10.2"
  (exec -a "$home/bin/vuzlsnr" "$tree/tests/support/argvsleep" LISTENER -inherit) &
  pid=$!
  sleep 0.5
  cat > "$work/agent.cfg" <<CFG
[lsnr1]
Owner=$(id -un)
Home=$home
Listener=LISTENER
[lsnr2]
Owner=$(id -un)
Home=$home
Listener=LISTENER2
CFG
  echo "--- listener process $pid: $(tr '\0' ' ' < /proc/$pid/cmdline)"
  echo "--- configuration"; cat "$work/agent.cfg"
  echo "--- ListenerAgent --cycles 3 --interval 1"
  "$tree/agents/Netlsnr/ListenerAgent" --config "$work/agent.cfg" --cycles 3 --interval 1 \
    --log-dir "$work" | while IFS= read -r line; do
      echo "$line"
      if [[ $line == "cycle=2 resource=lsnr2 "* ]]; then
        kill "$pid"
        echo "--- listener killed"
      fi
    done
  wait "$pid" 2>/dev/null || true
  echo "--- agent.log"; cat "$work/agent.log"
  echo "--- debug.log (lsnr1: cookie and state lines)"
  grep -E 'resource=lsnr1 .*(We got the cookie|state is)' "$work/debug.log" | head -n 4
  rm -rf "$work"
}
demo_listener
