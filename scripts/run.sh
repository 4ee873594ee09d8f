#!/usr/bin/env bash
# Installs what is missing, builds, and starts the tool together with a simulated radio
# module on COM200, so that open, write and read work on a machine without a module.
# When the tool exits, the simulator stops and its COM200 link is removed.
#
#   ./scripts/run.sh            the tool and the simulated module
#   ./scripts/run.sh --no-sim   the tool alone, for a real module (or CMT2300_NO_SIM=1)
#
# CMT2300_SIM_COM picks another COM number for the simulator (default 200);
# CMT2300_SIM_ARGS passes it more options, for example "--fail" or "--split 500".
# The simulator's frame log goes to build/cmt2300-sim.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

no_sim=${CMT2300_NO_SIM:-0}
tool_args=()
for arg in "$@"; do
  case "$arg" in
    --no-sim) no_sim=1 ;;
    *) tool_args+=("$arg") ;;
  esac
done

"$root/scripts/setup.sh"
"$root/scripts/build.sh" cmt2300-config cmt2300-sim

tool="$root/build/cmt2300-config"
if [ "$no_sim" = 1 ]; then
  exec "$tool" "${tool_args[@]}"
fi

com=${CMT2300_SIM_COM:-200}
log="$root/build/cmt2300-sim.log"
read -r -a sim_args <<<"${CMT2300_SIM_ARGS:-}"
"$root/build/cmt2300-sim" --com "$com" "${sim_args[@]}" >"$log" 2>&1 &
sim_pid=$!

tool_pid=
# Ends the tool if it still runs (the script itself was stopped), then the simulator,
# which removes its link.
stop_all() {
  local pid
  for pid in $tool_pid $sim_pid; do
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# The simulator prints "module on COMn" once its link is in place.
ready=0
for _ in $(seq 100); do
  if grep -q "module on COM$com " "$log"; then
    ready=1
    break
  fi
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
if [ "$ready" != 1 ]; then
  echo "run.sh: the simulated module did not start:" >&2
  cat "$log" >&2
  echo "run.sh: another COM number for it: CMT2300_SIM_COM=201 ./scripts/run.sh" >&2
  echo "run.sh: the tool alone, for a real module: ./scripts/run.sh --no-sim" >&2
  exit 1
fi
echo "run.sh: simulated module on COM$com (frames logged in build/cmt2300-sim.log)"

# In the background, so that a signal to this script is acted on at once (the traps run
# when `wait` is interrupted, not only after the tool has ended).
"$tool" "${tool_args[@]}" &
tool_pid=$!
status=0
wait "$tool_pid" || status=$?
tool_pid=
exit "$status"
