#!/usr/bin/env bash
# scripts/demo.sh: the demonstration in one command on a fresh machine.
# Installs what is missing (scripts/deps.sh, scripts/ia32.sh), then builds only
# what the demonstration runs, as a product build (optimised, no debug
# information, no tests, no test hooks, no benchmarks) in trees of its own:
#   build-demo/    64-bit: the three agents and their framework, the plug-in and
#                  its host, standin; healthprobe_64, hcwrite, the message files
#   build-demo32/  -m32: healthprobe_32
# and runs scripts/demo-run.sh on them.
#
# The agents and the plug-in need nothing of the client kit, so they are built
# first and the demonstration starts with them; the kit, the two probes and
# the tools are built meanwhile in the background (at a lower priority), and
# the probes' part of the demonstration waits for them. Each step prints one
# line; build output goes to a log in each tree, whose path is printed when a
# step fails. QEN_DEMO_JOBS sets the number of parallel compile jobs (default:
# all cores).
set -euo pipefail
cd "$(dirname "$0")/.."

readonly TREE=build-demo TREE32=build-demo32
readonly TARGETS_AGENTS=(DataServerAgent BackupServerAgent ListenerAgent AttrDiscovery
                         attrdiscover_demo standin)
readonly TARGETS_PROBE=(healthprobe_64 hcwrite qen_msb_files)
readonly TARGETS32=(healthprobe_32)
jobs=${QEN_DEMO_JOBS:-$(nproc)}
# A product build; warnings stay warnings, so a newer compiler cannot stop it.
readonly CONFIG=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG"
                 -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DQEN_TEST_HOOKS=OFF -DQEN_BENCH=OFF
                 -DQEN_WERROR=OFF)

# step TEXT LOG COMMAND...: one line for the step, the command's output in LOG.
step() {
  local text=$1 log=$2 start=$SECONDS
  shift 2
  printf -- '--- %s ... ' "$text"
  if "$@" >>"$log" 2>&1; then
    echo "done ($((SECONDS - start)) s)"
  else
    echo "FAILED"
    echo "the output is in $PWD/$log; its end:" >&2
    tail -n 15 "$log" >&2
    exit 1
  fi
}

# publish FILE STATUS: writes a build's exit status where demo-run.sh waits
# for it (whole, or not at all).
publish() { echo "$2" >"$1.tmp" && mv "$1.tmp" "$1"; }

mkdir -p "$TREE" "$TREE32"
log=$TREE/demo-build.log log32=$TREE32/demo-build.log
status=$TREE/demo-build.status status32=$TREE32/demo-build.status
: >"$log"
: >"$log32"
rm -f "$status" "$status32"
step "installing what is missing (scripts/deps.sh)" "$log" bash scripts/deps.sh
step "making sure 32-bit programs run (scripts/ia32.sh)" "$log" bash scripts/ia32.sh
step "configuring $TREE (64-bit product build)" "$log" cmake -S . -B "$TREE" "${CONFIG[@]}"
step "building the agents and the plug-in in $TREE" "$log" \
  cmake --build "$TREE" -j "$jobs" --target "${TARGETS_AGENTS[@]}"
echo "--- building the client kit, the probes and the tools in the background (logs: $PWD/$log, $PWD/$log32)"
# In a process group of its own (job control on for this one job), so that
# whatever ends the demonstration ends the whole build too.
set -m
(
  rc=0
  nice -n 10 cmake --build "$TREE" -j "$jobs" --target "${TARGETS_PROBE[@]}" >>"$log" 2>&1 || rc=$?
  publish "$status" "$rc"
  rc=0
  {
    nice -n 10 cmake -S . -B "$TREE32" "${CONFIG[@]}" -DQEN_WIDTH32=ON &&
      nice -n 10 cmake --build "$TREE32" -j "$jobs" --target "${TARGETS32[@]}"
  } >>"$log32" 2>&1 || rc=$?
  publish "$status32" "$rc"
) &
builder=$!
set +m
# An interrupted or failed demonstration leaves no build behind.
trap 'kill -- -"$builder" 2>/dev/null || true' EXIT
trap 'exit 130' INT TERM
QEN_DEMO_TREE_STATUS=$status QEN_DEMO_TREE32_STATUS=$status32 \
  bash scripts/demo-run.sh "$TREE" "$TREE32"
