#!/usr/bin/env bash
# Installs a velkor-tool .deb on a clean Debian (a minimal bookworm made with debootstrap, in a
# chroot), with apt resolving the dependencies the package declares, as an upgrade of the layout
# the packages up to 2.3 had. Then, as a member of the dialout group: the program folder takes
# no file or folder from the member, while the installed velkor-tool (on an Xvfb screen) still
# stores its settings, and updates a velkor-sim unit with the firmware and record file named
# through the data folder; velkor-flash updates a unit too. Last, an upgrade, a removal, a
# purge and a fresh install keep or make the settings file as they should.
#
#   scripts/package-test.sh PACKAGE.deb
set -euo pipefail

package=$(realpath "${1:?usage: scripts/package-test.sh PACKAGE.deb}")
[ "$(id -u)" -eq 0 ] || { echo "package-test: needs root (debootstrap, chroot)" >&2; exit 1; }
need=()
command -v debootstrap >/dev/null || need+=(debootstrap)
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xdotool >/dev/null || need+=(xdotool)
[ "${#need[@]}" -eq 0 ] \
  || DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -q \
    --no-install-recommends "${need[@]}"
mirror=${VELKOR_DEBIAN_MIRROR:-http://deb.debian.org/debian}

root=$(mktemp -d /tmp/velkor-clean.XXXXXX)
chmod 0755 "$root"  # the root folder of the system the technician uses too
work=$(mktemp -d /tmp/velkor-packages.XXXXXX)
mounted=()
pids=()
finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  for point in "${mounted[@]}"; do umount -l "$point" 2>/dev/null || true; done
  rm -rf --one-file-system "$root" "$work"
}
trap finish EXIT
fail() {
  echo "package-test: $*" >&2
  exit 1
}

folder=/usr/lib/velkor-tool
data=/var/lib/velkor-tool
settings=$data/velkor-tool.ini
version=$(dpkg-deb -f "$package" Version)

# The layout of the packages up to 2.3, in a package of its own: the program folder given to
# the dialout group (3775) with the settings file in it as a conffile.
mkdir -p "$work/old/DEBIAN" "$work/old$folder"
dpkg-deb --fsys-tarfile "$package" | tar -xO ./usr/share/velkor-tool/velkor-tool.ini \
  >"$work/old$folder/velkor-tool.ini"
printf '#!/bin/sh\n' >"$work/old$folder/velkor-tool"
cat >"$work/old/DEBIAN/control" <<EOF
Package: velkor-tool
Version: $version~old
Architecture: $(dpkg-deb -f "$package" Architecture)
Maintainer: $(dpkg-deb -f "$package" Maintainer)
Description: the layout of velkor-tool up to 2.3
EOF
echo "$folder/velkor-tool.ini" >"$work/old/DEBIAN/conffiles"
cat >"$work/old/DEBIAN/postinst" <<EOF
#!/bin/sh
set -e
if [ "\$1" = configure ] && getent group dialout >/dev/null; then
  chgrp dialout "$folder" "$folder/velkor-tool.ini"
  chmod 3775 "$folder"
  chmod 0664 "$folder/velkor-tool.ini"
fi
EOF
chmod 0755 "$work/old$folder/velkor-tool" "$work/old/DEBIAN/postinst"
dpkg-deb --root-owner-group -Zgzip -b "$work/old" "$work/old.deb" >/dev/null
# The package itself under a higher version, for an upgrade of the new layout.
dpkg-deb -R "$package" "$work/next"
sed -i "s/^Version: .*/Version: $version+1/" "$work/next/DEBIAN/control"
dpkg-deb --root-owner-group -Zgzip -z1 -b "$work/next" "$work/next.deb" >/dev/null

echo "package-test: a clean bookworm in $root"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.log" 2>&1 \
  || { tail -n 20 "$root.log" >&2; rm -f "$root.log"; exit 1; }
rm -f "$root.log"
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
# The host's pseudo-terminals, so that the device velkor-sim prints opens inside the chroot.
mount --bind /dev/pts "$root/dev/pts" && mounted+=("$root/dev/pts")
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$package" "$work/old.deb" "$work/next.deb" "$root/tmp/"
# Runs a command in the chroot as root, or as a technician: a member of the dialout group,
# nothing more. Arrays, so that a command started in the background is the program itself
# (chroot, env and setpriv each exec the next) and its process id is the one to end.
path=PATH=/usr/sbin:/usr/bin:/sbin:/bin
as_root=(chroot "$root" /usr/bin/env -i "$path" HOME=/root)
as_member=(chroot "$root" /usr/bin/env -i "$path" HOME=/tmp
  setpriv --reuid=technician --regid=technician --init-groups)
in_root() { "${as_root[@]}" "$@"; }
as_member() { "${as_member[@]}" "$@"; }
in_root useradd --groups dialout technician
quietly() { "$@" >"$work/out" 2>&1 || { cat "$work/out" >&2; fail "$* failed"; }; }
mode() { in_root stat -c "$1" "$2"; }
# The program folder holds the program and two root-owned links, and nothing anyone but root
# can write; the data folder is the group's, set-group-ID and not sticky.
check_layout() {
  [ "$(mode '%U:%G %a' $folder)" = "root:root 755" ] \
    || fail "$folder is $(mode '%U:%G %a' $folder), not root:root 755"
  [ "$(LC_ALL=C ls -A "$root$folder" | tr '\n' ' ')" = "data velkor-tool velkor-tool.ini " ] \
    || fail "$folder holds $(ls -A "$root$folder" | tr '\n' ' ')"
  [ -z "$(in_root find $folder \( ! -user root -o ! -group root -o ! -type l -perm /022 \))" ] \
    || fail "$folder holds what others than root can write"
  [ "$(readlink "$root$folder/velkor-tool.ini")" = "$settings" ] \
    && [ "$(readlink "$root$folder/data")" = "$data" ] \
    || fail "the links of $folder do not lead to $data"
  [ "$(mode '%U:%G %a' $data)" = "root:dialout 2775" ] \
    || fail "$data is $(mode '%U:%G %a' $data), not root:dialout 2775"
  [ "$(mode '%F %G %a' $settings)" = "regular file dialout 664" ] \
    || fail "$settings is $(mode '%F %U:%G %a' $settings)"
}

echo "package-test: the layout up to 2.3, a technician's setting and planted plugins in it"
quietly in_root dpkg -i /tmp/old.deb
as_member sh -c "printf 'ComPort=/dev/ttyBENCH\r\nFireFile=fw.hex\r\n' >>$folder/velkor-tool.ini
  : >$folder/fw.hex
  printf '[Paths]\nPlugins=/tmp\n' >$folder/qt.conf && mkdir $folder/platforms"
# The firmware file moves to the data folder, and FireFile follows it there.
sed 's|^FireFile=fw.hex|FireFile=data/fw.hex|' "$root$folder/velkor-tool.ini" >"$work/settings"

echo "package-test: apt-get install $(basename "$package")"
in_root apt-get -o APT::Sandbox::User=root update -q >/dev/null
in_root env DEBIAN_FRONTEND=noninteractive apt-get -o APT::Sandbox::User=root install -y -q \
  --no-install-recommends \
  "/tmp/$(basename "$package")" | tail -n 3

in_root velkor-flash --version
in_root velkor-sim --version
in_root velkor-tool --version
check_layout
cmp -s "$work/settings" "$root$settings" || fail "the upgrade lost the technician's settings"
[ -f "$root$data/qt.conf" ] && [ -d "$root$data/platforms" ] && [ -f "$root$data/fw.hex" ] \
  || fail "the upgrade did not move the planted files to $data"
[ -z "$(in_root dpkg-query -W -f='${Conffiles}' velkor-tool)" ] \
  || fail "dpkg still lists conffiles: $(in_root dpkg-query -W -f='${Conffiles}' velkor-tool)"
# The station's service template is shipped, and nothing enables it.
grep -q '^ExecStart=/usr/bin/velkor-flash station' "$root/usr/lib/systemd/system/velkor-station@.service" \
  || fail "the station's service template is missing"
[ -z "$(find "$root/etc/systemd" -name 'velkor-station@*' 2>/dev/null)" ] \
  || fail "the station's service is enabled by the package"
# It runs as the package's system user, in dialout and without a login.
[ "$(in_root id -gn velkor-station)" = dialout ] \
  || fail "the station's user velkor-station is missing or not in dialout"
# Exposed as little as systemd can tell: at most 3.0 of 10 (an instance of the template, as
# systemd-analyze reads it without a running systemd).
cp "$root/usr/lib/systemd/system/velkor-station@.service" "$work/velkor-station@line1.service"
exposure=$(systemd-analyze security --offline=true "$work/velkor-station@line1.service" 2>&1 \
  | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
echo "package-test: the station's service is exposed ${exposure:-?} of 10"
[ -n "$exposure" ] && awk -v e="$exposure" 'BEGIN { exit !(e <= 3.0) }' \
  || fail "the station's service is exposed ${exposure:-?} of 10 (systemd-analyze security)"

for attempt in "touch $folder/qt.conf" "mkdir $folder/platforms" "mv $folder/data $folder/x"; do
  ! as_member sh -c "$attempt" 2>/dev/null || fail "a dialout member could $attempt"
done

# Starts velkor-sim in the chroot, as root or as the member, and sets $device to its terminal.
start_sim() {
  local -n runner=$1
  "${runner[@]}" velkor-sim --model j5 --family m3 --flash-out /tmp/flash.bin >"$root/tmp/sim.out" \
    2>/dev/null &
  sim_pid=$!
  pids+=("$sim_pid")
  device=
  for _ in $(seq 100); do
    device=$(head -n 1 "$root/tmp/sim.out" 2>/dev/null || true)
    [ -n "$device" ] && return 0
    sleep 0.1
  done
  fail "velkor-sim did not start"
}
stop_sim() {
  kill "$sim_pid"
  wait "$sim_pid" || true
}

echo "package-test: velkor-tool, run by the member, stores its settings and updates a unit"
# The tool writes its settings when its update type dialog is accepted, and nothing else
# does; the offscreen platform takes no presses from outside. So a screen (the host's Xvfb,
# whose abstract socket the chroot reaches: it shares the network namespace) of the design
# size, where a point of the dialog's layout is a pixel, and xdotool's presses.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 800x480x24 -nolisten tcp 2>/dev/null &
pids+=($!)
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")
as_member velkor-sim firmware --model j5 --family m3 -o $data/j5-m3.hex >/dev/null
start_sim as_member
# Without McuType the tool asks for it once the unit has answered, and stores the answer.
as_member sh -c "printf '[UpdateConfig]\r\nAppType=2\r\nFireFile=data/j5-m3.hex\r\n\
RecordFile=data/velkor-records.jsonl\r\nComPort=$device\r\n' >$folder/velkor-tool.ini"
"${as_member[@]}" env DISPLAY="$DISPLAY" velkor-tool 2>"$work/tool.log" &
tool_pid=$!
pids+=("$tool_pid")
# The update type dialog is the tool's second window on the screen; the windows are found by
# the process that shows them, whatever their names and class.
windows() { xdotool search --onlyvisible --pid "$tool_pid" | wc -l; }
for _ in $(seq 300); do
  [ "$(windows)" -ge 2 ] && break
  sleep 0.1
done
[ "$(windows)" -ge 2 ] || { cat "$work/tool.log" >&2; fail "the update type dialog did not open"; }
# M3's button, then OK (the dialog's points at 800 x 480); a press the dialog missed while it
# was being shown is repeated.
for _ in 1 2 3 4 5; do
  xdotool mousemove 507 170 click 1 sleep 0.2 mousemove 335 380 click 1 sleep 0.5
  [ "$(windows)" -ge 2 ] || break
done
for _ in $(seq 600); do
  grep -q "Update complete\|Update fail" "$work/tool.log" && break
  sleep 0.1
done
kill "$tool_pid"
wait "$tool_pid" || true
stop_sim
grep -q "Update complete, MCU will auto reset" "$work/tool.log" \
  || { tail -n 5 "$work/tool.log" >&2; fail "velkor-tool did not update the unit"; }
grep -q $'^McuType=3\r$' "$root$settings" || fail "velkor-tool did not store McuType"
grep -q '"result":"updated"' "$root$data/velkor-records.jsonl" \
  || fail "velkor-tool kept no record in $data"
check_layout

start_sim as_root
status=0
in_root velkor-sim firmware --model j5 --family m3 -o /tmp/unit.hex >/dev/null
in_root velkor-flash write --port "$device" --model j5 --mcu m3 /tmp/unit.hex 2>"$root/tmp/write.log" \
  || status=$?
stop_sim
tail -n 2 "$root/tmp/write.log"
[ "$status" -eq 0 ] || fail "velkor-flash write exited $status"
# The unit's flash holds the file's data where the file has it.
in_root velkor-flash image --mcu m3 /tmp/unit.hex -o /tmp/image.bin 2>/dev/null
cmp <(head -c $((0x20000)) "$root/tmp/image.bin") <(head -c $((0x20000)) "$root/tmp/flash.bin") \
  || fail "the unit's flash differs from the file"

echo "package-test: an upgrade, a removal, a purge and a fresh install"
cp "$root$settings" "$work/settings"
quietly in_root dpkg -i /tmp/next.deb
check_layout
cmp -s "$work/settings" "$root$settings" || fail "the upgrade changed the settings file"
quietly in_root dpkg --remove velkor-tool
cmp -s "$work/settings" "$root$settings" || fail "the removal did not keep the settings file"
quietly in_root dpkg --purge velkor-tool
[ ! -e "$root$settings" ] || fail "the purge kept the settings file"
[ -f "$root$data/j5-m3.hex" ] && [ -f "$root$data/velkor-records.jsonl" ] \
  || fail "the purge removed the technicians' firmware or records"
# A system without the dialout group (nor the station's user, whose group it is) gets both.
in_root userdel velkor-station
in_root groupdel dialout
quietly in_root dpkg -i "/tmp/$(basename "$package")"
check_layout
[ "$(in_root id -gn velkor-station)" = dialout ] \
  || fail "the fresh install did not make the station's user in dialout"
cmp -s "$root/usr/share/velkor-tool/velkor-tool.ini" "$root$settings" \
  || fail "the fresh install did not start the settings file from the sample"
echo "package-test: $(basename "$package") installed on a clean system and updated a unit"
