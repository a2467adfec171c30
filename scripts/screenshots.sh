#!/usr/bin/env bash
# Screenshots of the tool as a technician sees it: the main window during an update, the update
# type dialog and the file browser (in the program directory and at the root), on a real X
# server (Xvfb) of each screen size, against velkor-sim; and the station's live page in headless
# Chromium at a tablet's 1280x800 and a wall screen's 1920x1080, whatever the sizes asked for.
# Writes PNG files into the given folder.
#
#   scripts/screenshots.sh [OUT_DIR] [WIDTHxHEIGHT ...]
#   (default: build/screenshots, the tool at 800x480 and 480x272)
#   scripts/screenshots.sh --check
#   (makes the tool's 800x480 pictures and the page's afresh and compares them with those in
#   docs/screenshots)
#
# VELKOR_BUILD_DIR names a build folder to take the programs from (default: build, built here).
set -euo pipefail

if [ "${1:-}" = --check ]; then
  root=$(cd "$(dirname "$0")/.." && pwd)
  fresh=$(mktemp -d)
  trap 'rm -rf "$fresh"' EXIT
  "$0" "$fresh" 800x480 >/dev/null
  status=0
  names=$(cd "$root/docs/screenshots" 2>/dev/null && ls -- *.png; cd "$fresh" && ls -- *.png)
  for name in $(sort -u <<<"$names"); do
    [ -f "$root/docs/screenshots/$name" ] && [ -f "$fresh/$name" ] || {
      echo "screenshots: $name is only in one of docs/screenshots and a fresh run" >&2
      status=1
      continue
    }
    checked_in=$(identify -format '%wx%h' "$root/docs/screenshots/$name")
    made=$(identify -format '%wx%h' "$fresh/$name")
    [ "$checked_in" = "$made" ] || {
      echo "screenshots: $name is $checked_in in docs/screenshots but $made now" >&2
      status=1
      continue
    }
    # Fonts and timing move pixels, so the difference is shown, not judged.
    difference=$(compare -metric RMSE "$root/docs/screenshots/$name" "$fresh/$name" null: 2>&1 \
      | sed -E 's/.*\((.*)\)/\1/' || true)
    echo "screenshots: $name $made, RMSE $difference against docs/screenshots"
  done
  exit "$status"
fi

root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/build/screenshots}")
shift || true
sizes=("$@")
[ "${#sizes[@]}" -gt 0 ] || sizes=(800x480 480x272)
cd "$root"

# Xvfb to draw on, ImageMagick's import to take the picture, xdotool to press buttons; Chromium
# driven by Debian's Python for the page.
need=()
command -v Xvfb >/dev/null || need+=(xvfb)
[ -x /usr/bin/import ] || need+=(imagemagick)
command -v xdotool >/dev/null || need+=(xdotool)
[ -x /usr/bin/chromium ] || need+=(chromium)
[ -x /usr/bin/chromedriver ] || need+=(chromium-driver)
/usr/bin/python3 -c 'import selenium' 2>/dev/null || need+=(python3-selenium)
if [ "${#need[@]}" -gt 0 ]; then
  [ "$(id -u)" -eq 0 ] || { echo "screenshots: install ${need[*]}" >&2; exit 1; }
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}"
fi

build=${VELKOR_BUILD_DIR:-build}
if [ -z "${VELKOR_BUILD_DIR:-}" ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j "$(nproc)" --target velkor-tool velkor-sim velkor-flash >/dev/null
fi
mkdir -p "$out"

work=$(mktemp -d)
pids=()
finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT

# The tool in a folder of its own: its settings file and the firmware files lie beside it.
tool_dir="$work/Velkor Tool"
mkdir -p "$tool_dir/Old firmware" "$tool_dir/Storage Card"
cp "$build/gui/velkor-tool" "$tool_dir/"
"$build/sim/velkor-sim" firmware --model j5 --family m3 -o "$tool_dir/J5-M3-2.3.hex" >/dev/null
cp "$tool_dir/J5-M3-2.3.hex" "$tool_dir/Old firmware/J5-M3-2.2.hex"

# At the unit's line speed, so that the update lasts long enough to be photographed.
"$build/sim/velkor-sim" --model j5 --family m3 --baud 38400 >"$work/sim.out" 2>/dev/null &
pids+=($!)
device=
for _ in $(seq 100); do
  device=$(head -n 1 "$work/sim.out" 2>/dev/null || true)
  [ -n "$device" ] && break
  sleep 0.1
done
[ -n "$device" ] || { echo "screenshots: velkor-sim did not start" >&2; exit 1; }

# Waits until the tool's log (its standard error) holds the text, at most 20 s.
wait_for_log() {
  for _ in $(seq 200); do
    grep -q -- "$1" "$work/tool.log" && return 0
    sleep 0.1
  done
  echo "screenshots: the tool never logged \"$1\"" >&2
  return 1
}

# Starts the tool with the settings given as KEY=VALUE lines and waits for its window.
start_tool() {
  {
    printf '[UpdateConfig]\r\n'
    for line in "$@"; do printf '%s\r\n' "$line"; done
    printf 'ComPort=%s\r\n' "$device"
  } >"$tool_dir/velkor-tool.ini"
  : >"$work/tool.log"
  "$tool_dir/velkor-tool" 2>"$work/tool.log" &
  tool_pid=$!
  # By its process: the window's caption is empty.
  timeout 30 xdotool search --sync --onlyvisible --pid "$tool_pid" >/dev/null \
    || { echo "screenshots: no tool window" >&2; cat "$work/tool.log" >&2; return 1; }
}

stop_tool() {
  kill "$tool_pid" 2>/dev/null || true
  wait "$tool_pid" 2>/dev/null || true
}

shoot() {
  sleep 0.5  # let the last paint reach the screen
  import -window root "$out/$1-$size.png"
  echo "screenshots: $out/$1-$size.png"
}

# Presses the point (x, y) of the 800 x 480 design grid, scaled to the screen.
tap() {
  xdotool mousemove $(($1 * width / 800)) $(($2 * height / 480)) click 1
}

for size in "${sizes[@]}"; do
  width=${size%x*}
  height=${size#*x}
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 "${width}x${height}x24" -nolisten tcp 2>/dev/null &
  xvfb_pid=$!
  pids+=("$xvfb_pid")
  exec 3>&-
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  export DISPLAY=:$(cat "$work/display")

  # An undetermined MCU family: the type dialog opens by itself.
  start_tool AppType=2
  sleep 3
  shoot type
  stop_tool

  # Open: the file browser in the program directory, then at the root.
  start_tool AppType=2 McuType=3
  wait_for_log "Information"
  sleep 1
  tap 565 440
  sleep 1
  shoot browser
  for _ in $(seq "$(tr -cd / <<<"$tool_dir" | wc -c)"); do tap 495 450; done
  shoot browser-root
  stop_tool

  # The main window with the option panel, a few seconds into the update "FireFile" starts.
  start_tool AppType=2 McuType=3 FireFile=J5-M3-2.3.hex
  wait_for_log 'Press "Update" to start update.'
  sleep 8
  shoot update
  stop_tool

  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
done

# The station's page: four watched slots, one updating at the unit's line speed, one updated, one
# failed (its unit's version is not the file's) and one whose adapter waits for a unit.
by_id="$work/by-id"
mkdir -p "$by_id"
slot_link() { echo "$by_id/usb-Velkor_Fixture_Slot_$1-if00-port0"; }
unit() {
  local link
  link=$(slot_link "$1")
  shift
  "$build/sim/velkor-sim" --model j5 --family m3 --symlink "$link" "$@" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -L "$link" ] && return 0; sleep 0.1; done
  echo "screenshots: velkor-sim made no link $link" >&2
  return 1
}
# Every link in place before the station starts, so that it lists the slots in name order.
unit 1
unit 2 --baud 115200
unit 3 --version-text J5M3B-H9--N8N_V_3.02
unit 4 --start-unplugged
"$build/cli/velkor-flash" station --model j5 --mcu m3 --watch "$by_id" --allow-pty --poll-interval 200 \
  --station "Line 3 west" --http 127.0.0.1:0 "$tool_dir/J5-M3-2.3.hex" \
  >/dev/null 2>"$work/station.log" &
pids+=($!)
url=
for _ in $(seq 100); do
  url=$(sed -n 's/^Station page: \(http[^ ]*\).*/\1/p' "$work/station.log")
  [ -n "$url" ] && break
  sleep 0.1
done
[ -n "$url" ] || { echo "screenshots: the station serves no page" >&2; cat "$work/station.log" >&2; exit 1; }
/usr/bin/python3 "$root/scripts/station_page_screenshots.py" "$url" "$out" 1280x800 1920x1080
