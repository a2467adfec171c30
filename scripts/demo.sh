#!/usr/bin/env bash
# The tool's main job on its built-in default: a full firmware update of a simulated head unit.
# Builds what it needs, makes a firmware file, starts velkor-sim on a pseudo-terminal, points
# velkor-tool at it through its settings file ("FireFile" makes the update run without a
# touch), shows the log, and checks that the simulated MCU's flash now holds the file.
#
#   VELKOR_DEMO_MODEL=r3360|j5 (default j5), VELKOR_DEMO_FAMILY=stm8|nec|m3 (default m3)
#   VELKOR_DEMO_BUILD=DIR: a build folder configured already (for example a cross build of
#   scripts/cross.sh, whose programs then run under its emulator) instead of build/
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
model=${VELKOR_DEMO_MODEL:-j5}
family=${VELKOR_DEMO_FAMILY:-m3}
case "$model" in r3360) app_type=1 ;; j5) app_type=2 ;; *) echo "demo: unknown model $model" >&2; exit 64 ;; esac
case "$family" in
  stm8) mcu_type=1 ext=s19 first=$((0x8000)) length=$((0x20000)) ;;
  nec) mcu_type=2 ext=hex first=0 length=$((0x20000)) ;;
  m3) mcu_type=3 ext=hex first=0 length=$((0x20000)) ;;
  *) echo "demo: unknown family $family" >&2; exit 64 ;;
esac

build=${VELKOR_DEMO_BUILD:-}
if [ -z "$build" ]; then
  build=build
  scripts/install-deps.sh
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target velkor-tool velkor-sim velkor-flash
# What runs the programs when they were built for another machine: the build's emulator.
emulator=$(sed -n 's/^CMAKE_CROSSCOMPILING_EMULATOR:[A-Z]*=//p' "$build/CMakeCache.txt")
run=()
[ -z "$emulator" ] || IFS=';' read -r -a run <<<"$emulator"

work=$(mktemp -d)
sim_pid=
tool_pid=
finish() {
  [ -n "$tool_pid" ] && kill "$tool_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null || true
}
trap 'finish; rm -rf "$work"' EXIT

# The firmware file lies beside the tool, where "FireFile" names it.
tool_dir=$build/gui
firmware="demo-$model-$family.$ext"
"${run[@]}" "$build/sim/velkor-sim" firmware --model "$model" --family "$family" \
  -o "$tool_dir/$firmware" >/dev/null

"${run[@]}" "$build/sim/velkor-sim" --model "$model" --family "$family" \
  --flash-out "$work/flash.bin" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
  device=$(head -n 1 "$work/sim.out" 2>/dev/null || true)
  [ -n "$device" ] && break
  sleep 0.1
done
[ -n "$device" ] || { echo "demo: velkor-sim did not start" >&2; cat "$work/sim.err" >&2; exit 1; }
echo "demo: simulated $model unit with a $family MCU on $device"

printf '[UpdateConfig]\r\nAppType=%s\r\nMcuType=%s\r\nFireFile=%s\r\nComPort=%s\r\n' \
  "$app_type" "$mcu_type" "$firmware" "$device" >"$tool_dir/velkor-tool.ini"

# A real window where there is a display, offscreen otherwise.
display=${DISPLAY:-}
display_socket=/tmp/.X11-unix/X${display#*:}
display_socket=${display_socket%.*}
if [ -n "$display" ] && [ -S "$display_socket" ]; then
  echo "demo: velkor-tool on display $DISPLAY"
else
  export QT_QPA_PLATFORM=offscreen
  echo "demo: no display, velkor-tool runs offscreen"
fi

: >"$work/tool.log"
start=$(date +%s.%N)
"${run[@]}" "$tool_dir/velkor-tool" 2>"$work/tool.log" &
tool_pid=$!
tail -f "$work/tool.log" --pid "$tool_pid" &
tail_pid=$!
result=
for _ in $(seq 3000); do
  if grep -q "Update complete, MCU will auto reset" "$work/tool.log"; then result=complete; break; fi
  if grep -q "Update fail, please reset and try again" "$work/tool.log"; then result=fail; break; fi
  kill -0 "$tool_pid" 2>/dev/null || break
  sleep 0.1
done
end=$(date +%s.%N)
kill "$tool_pid" 2>/dev/null || true
wait "$tool_pid" 2>/dev/null || true
tool_pid=
kill "$tail_pid" 2>/dev/null || true
kill "$sim_pid" && wait "$sim_pid" || true
sim_pid=
echo
elapsed=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", e - s }')
echo "demo: update ${result:-not finished} after $elapsed s"

"${run[@]}" "$build/cli/velkor-flash" image --mcu "$family" "$tool_dir/$firmware" \
  -o "$work/image.bin" 2>/dev/null
if cmp -s -i "$first:$first" -n "$length" "$work/image.bin" "$work/flash.bin"; then
  echo "demo: the simulated MCU's flash now matches $firmware"
  [ "$result" = complete ]
else
  echo "demo: the simulated MCU's flash does NOT match $firmware" >&2
  exit 1
fi
