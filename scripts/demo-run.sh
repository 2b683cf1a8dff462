#!/usr/bin/env bash
# scripts/demo-run.sh [TREE [TREE32]]: the demonstration, run against already
# built trees: the 64-bit tree (default build-demo) and the -m32 tree (default
# build-demo32), whose healthprobe_32 needs 32-bit programs to run
# (scripts/ia32.sh). scripts/demo.sh builds both and calls this; any tree with
# the same programs will do (build and build32, for example). With
# QEN_DEMO_TREE_STATUS=FILE (QEN_DEMO_TREE32_STATUS=FILE) the part of
# healthprobe_64 (healthprobe_32) first waits for FILE, which then holds the
# exit status of that tree's build: scripts/demo.sh builds the probes in the
# background while the agents' part runs.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=$(cd "${1:-build-demo}" && pwd)
tree32=$(cd "${2:-build-demo32}" && pwd)
# standin PROGRAM ARG...: starts a process with that command line that waits to
# be killed, and prints its id once it runs (tools/standin).
standin="$tree/tools/standin/standin"

# Whatever the demonstration started or made is gone when it ends, however it
# ends.
started=() made=()
cleanup() {
  if ((${#started[@]})); then kill "${started[@]}" 2>/dev/null || true; fi
  if ((${#made[@]})); then rm -rf "${made[@]}"; fi
}
trap cleanup EXIT

# command_line PID: the process's command line, its arguments separated by blanks.
command_line() { tr '\0' ' ' <"/proc/$1/cmdline" | sed 's/ $//'; }

# --- how to read the agents' lines -------------------------------------------
legend() {
  cat <<'TXT'
=== How to read the agents' output
Each agent prints one line per resource and cycle:
  cycle=N resource=NAME state=S confidence=C
  state 1 online: the server or listener process runs
  state 0 offline: no server process (Sybase), or the resource's zone is down
  state 5 no listener process (listener agent only)
  state 2 unknown: the configuration cannot be used, or a check failed
  confidence 0..100: 50 when the process is found, 55..100 when a detail
  script vouches for it (exit codes 101..110), 100 for a backup server found
Messages go to console.log and agent.log; debug.log only with --debug LEVELS.
TXT
}

# --- attribute-discovery plug-in --------------------------------------------
# A small host loads libAttrDiscovery.so as the configuration wizard does and
# prints the discoverable attributes and two documents, with the discovery
# script taken from discovery/sample/ instead of the installed one.
demo_discovery() {
  echo "=== attribute-discovery plug-in"
  echo "--- the wizard's host loads the plug-in and prints what it can discover"
  QEN_ATTRSCAN_SCRIPT="$PWD/discovery/sample/attrscan.pl" \
    "$tree/discovery/attrdiscover_demo" "$tree/discovery/libAttrDiscovery.so" \
    Instances Listeners_zur1 instances
}

# --- Viruze listener agent ---------------------------------------------------
# A process that looks like a listener ("<Home>/bin/vuzlsnr LISTENER -inherit",
# really standin) and a configuration with that listener and one that does not
# run. ListenerAgent runs three cycles, one second apart; after the second the
# listener is killed, so the third reports no listener (state 5) and the agent
# log shows the remembered process gone.
demo_listener() {
  echo "=== Viruze listener agent"
  local work home pid
  work=$(mktemp -d /tmp/qen-demo-listener.XXXXXX)
  made+=("$work")
  home="$work/viruze/product/10.2"
  pid=$("$standin" "$home/bin/vuzlsnr" LISTENER -inherit)
  started+=("$pid")
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
  echo "--- a listener process runs (pid $pid): $(command_line "$pid")"
  echo "--- two resources: lsnr1 is that listener, lsnr2 names one that does not run"
  cat "$work/agent.cfg"
  echo "--- three cycles: lsnr1 online (1) until its process is killed, then 5; lsnr2 always 5"
  "$tree/agents/Netlsnr/ListenerAgent" --config "$work/agent.cfg" --cycles 3 --interval 1 \
    --log-dir "$work" --debug 0,2 | while IFS= read -r line; do
      echo "$line"
      if [[ $line == "cycle=2 resource=lsnr2 "* ]]; then
        kill "$pid"
        echo "--- listener killed"
      fi
    done
  echo "--- agent.log: where the listener was found, and that it was gone in cycle 3"
  cat "$work/agent.log"
  echo "--- debug.log (asked for with --debug 0,2): the remembered process checked each cycle"
  grep -E 'resource=lsnr1 .*(We got the cookie|state is)' "$work/debug.log" | head -n 4 || true
}

# --- Sybase data-server and backup-server agents ------------------------------
# Starts processes with the command lines of a data server and a backup server
# (standin under those names; owned by nobody when the demonstration runs as
# root, since the agents refuse root as the servers' owner), runs both agents
# through the framework's main for a few cycles, then once more after the data
# server has been killed.
demo_sybase() {
  echo "=== Sybase data-server and backup-server agents"
  local work owner pids=() pid
  work=$(mktemp -d /tmp/qen-demo-sybase.XXXXXX)
  made+=("$work")
  chmod 755 "$work"
  # a copy that the servers' owner can run, wherever this tree lies
  cp "$standin" "$work/standin"
  start_as_owner() { # program args...
    if [ "$(id -u)" = 0 ]; then
      pid=$(setpriv --reuid=65534 --regid=65534 --clear-groups "$work/standin" "$@")
    else
      pid=$("$work/standin" "$@")
    fi
    pids+=("$pid")
    started+=("$pid")
  }
  if [ "$(id -u)" = 0 ]; then owner=$(id -un 65534); else owner=$(id -un); fi
  start_as_owner /opt/sybase/ASE-15_0/bin/dataserver -d/dev/master -sDEMOSRV1 -e/tmp/ase.log
  local ds_pid=${pids[0]}
  start_as_owner /opt/sybase/ASE-15_0/bin/backupserver -SDEMOBK1 -e/tmp/bk.log
  echo "--- two server processes run, owned by $owner:"
  for pid in "${pids[@]}"; do echo "    pid $pid: $(command_line "$pid")"; done

  printf '#!/bin/sh\necho "checked $3 as $8"\nexit 110\n' >"$work/check.sh"
  chmod 755 "$work/check.sh"
  ds_resource() { # name server detail-monitor
    cat <<CFG
[$1]
Server=$2
Owner=$owner
Home=/opt/sybase
Version=15.0
SA=sa
SApswd=secret
User=probe
UPword=probepw
Db=master
Table=sysobjects
Monscript=$work/check.sh
DetailMonitor=$3
CFG
  }
  { ds_resource demo_ds DEMOSRV1 2; ds_resource demo_ds_other DEMOSRV 0; } >"$work/dataserver.cfg"
  cat >"$work/backupserver.cfg" <<CFG
[demo_bk]
Backupserver=DEMOBK1
Owner=$owner
Home=/opt/sybase
Version=15.0
Server=DEMOSRV1
SA=sa
SApswd=secret
CFG
  run_agent() { # program configuration cycles
    "$tree/agents/$1" --config "$work/$2" --cycles "$3" --interval 1 --log-dir "$work" --debug all
  }
  echo "--- DataServerAgent, 3 cycles: demo_ds online, its script (exit 110) raising the"
  echo "    confidence to 100 every second cycle; demo_ds_other offline (DEMOSRV does not run)"
  run_agent Sybase/DataServerAgent dataserver.cfg 3
  echo "--- BackupServerAgent, 2 cycles: the backup server found, confidence 100"
  run_agent SybaseBk/BackupServerAgent backupserver.cfg 2
  kill "$ds_pid"
  echo "--- the data server killed: one more cycle reports demo_ds offline"
  run_agent Sybase/DataServerAgent dataserver.cfg 1
  echo "--- console.log: where each server process was found"
  cat "$work/console.log"
  echo "--- debug.log (asked for with --debug all): the remembered process and the script cycle"
  echo "    (proc_ok is FALSE while the agent remembers no running server process, in its first"
  echo "    cycle or once that process is gone: it then scans /proc; TRUE: no scan needed)"
  grep -E 'Cookie analysis|Should I do Detail|left-matching' "$work/debug.log" | head -6 || true
  kill "${pids[@]}" 2>/dev/null || true
}

# --- health probe, both widths -----------------------------------------------
# A real process (sleep) stands for the instance. hcwrite writes its health
# file in the probe's width, as the instance would: its pid and start time,
# then the event states of the current record as the instance changes them.
# VIRUZE_HOME holds dbs/ for the health files and ridor/mesg/vuvus.msb, the
# message file the probe takes its error texts from (written by the 64-bit
# build under msb-home).
readonly EV_SHUTDOWN=1 EV_OPEN=9 EV_CLOSED=10
readonly HC_VERSION_OFFSET=84 # the version, u32, in both layouts
# states EVENT...: the 15 event states of a record, the given events set (2),
# every other one not set (1).
states() {
  local s=(1 1 1 1 1 1 1 1 1 1 1 1 1 1 1) e
  for e in "$@"; do s[e]=2; done
  local IFS=,
  echo "${s[*]}"
}
# probe_step WIDTH SID WHAT: one line saying what the step shows, then the
# probe's output and its exit code.
probe_step() {
  local width=$1 sid=$2 what=$3 out code program
  if [ "$width" = 64 ]; then program="$tree/probe/healthprobe_64"
  else program="$tree32/probe/healthprobe_32"; fi
  echo "--- healthprobe_$width: $what"
  # the exit code rides behind the output, which keeps its trailing newlines
  out=$(if VIRUZE_SID=$sid "$program"; then printf x0; else printf 'x%d' $?; fi)
  code=${out##*x}
  out=${out%x*}
  printf '%s' "$out"
  [ -z "$out" ] || [ "${out: -1}" = $'\n' ] || echo
  echo "exit code $code"
}
demo_probe_width() { # WIDTH
  local width=$1 sid=demo$1 pid hc version
  local hcwrite="$tree/tools/hcw/hcwrite"
  hc="$VIRUZE_HOME/dbs/hc_$sid.dat"
  echo "=== healthprobe_$width (health file in the $width-bit layout)"
  sleep 600 &
  pid=$!
  started+=("$pid")
  VIRUZE_SID=$sid "$hcwrite" --width "$width" --pid "$pid" --record "all=$(states $EV_OPEN)"
  probe_step "$width" "$sid" "the instance (sleep, pid $pid) runs and its file says Open: online, exit 110"
  VIRUZE_SID=$sid "$hcwrite" --width "$width" --update --record "all=$(states $EV_CLOSED)"
  probe_step "$width" "$sid" "the file says Mounted (Closed): the database is closed, exit 98"
  VIRUZE_SID=$sid "$hcwrite" --width "$width" --update --record "all=$(states $EV_SHUTDOWN)"
  probe_step "$width" "$sid" "the file says Instance Shutdown: a proper shutdown, exit 100"
  VIRUZE_SID=$sid "$hcwrite" --width "$width" --update --record "all=$(states $EV_OPEN)"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  probe_step "$width" "$sid" "the file says Open again, but process $pid was killed and reaped: abnormal termination, exit 98"
  probe_step "$width" nosuch "no health file for VIRUZE_SID=nosuch: the VUV texts of the failed open, exit 1"
  version=$(printf '0x%08x' "$(od -A n -t u4 -j "$HC_VERSION_OFFSET" -N 4 "$hc")")
  VIRUZE_SID=$sid "$hcwrite" --width "$width" --update --version 1
  probe_step "$width" "$sid" "the file was written by version 1, this client is version $version: VUV text, exit 1"
}
# wait_build STATUS-FILE PROGRAM TREE: waits for PROGRAM's build in TREE when
# it is being built (STATUS-FILE not empty); false when that build failed.
wait_build() {
  local status=$1 program=$2 in=$3 start=$SECONDS
  [ -n "$status" ] || return 0
  printf -- '--- waiting for %s, building in %s ... ' "$program" "$in"
  while [ ! -s "$status" ]; do sleep 1; done
  if [ "$(cat "$status")" = 0 ]; then
    echo "done ($((SECONDS - start)) s)"
  else
    echo "FAILED: the output is in $in/demo-build.log"
    return 1
  fi
}
demo_probe() {
  local home
  wait_build "${QEN_DEMO_TREE_STATUS:-}" healthprobe_64 "$tree"
  home=$(mktemp -d /tmp/qen-demo-probe.XXXXXX)
  made+=("$home")
  mkdir "$home/dbs"
  cp -r "$tree/msb-home/ridor" "$home/"
  export VIRUZE_HOME=$home
  demo_probe_width 64
  wait_build "${QEN_DEMO_TREE32_STATUS:-}" healthprobe_32 "$tree32"
  demo_probe_width 32
  unset VIRUZE_HOME
}

legend
demo_sybase
demo_listener
demo_discovery
demo_probe
