#!/usr/bin/env bash
# Installs a velkor-tool .deb on a clean Debian (a minimal bookworm made with debootstrap, in a
# chroot), with apt resolving the dependencies the package declares, then checks that
# velkor-flash starts and updates a velkor-sim unit on a pseudo-terminal, both as installed.
#
#   scripts/package-test.sh PACKAGE.deb
set -euo pipefail

package=$(realpath "${1:?usage: scripts/package-test.sh PACKAGE.deb}")
[ "$(id -u)" -eq 0 ] || { echo "package-test: needs root (debootstrap, chroot)" >&2; exit 1; }
command -v debootstrap >/dev/null \
  || DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -q \
    --no-install-recommends debootstrap
mirror=${VELKOR_DEBIAN_MIRROR:-http://deb.debian.org/debian}

root=$(mktemp -d /tmp/velkor-clean.XXXXXX)
mounted=()
finish() {
  for point in "${mounted[@]}"; do umount -l "$point" 2>/dev/null || true; done
  rm -rf --one-file-system "$root"
}
trap finish EXIT

echo "package-test: a clean bookworm in $root"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.log" 2>&1 \
  || { tail -n 20 "$root.log" >&2; rm -f "$root.log"; exit 1; }
rm -f "$root.log"
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
# The host's pseudo-terminals, so that the device velkor-sim prints opens inside the chroot.
mount --bind /dev/pts "$root/dev/pts" && mounted+=("$root/dev/pts")
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$package" "$root/tmp/"
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root "$@"; }

echo "package-test: apt-get install $(basename "$package")"
in_root apt-get -o APT::Sandbox::User=root update -q >/dev/null
in_root env DEBIAN_FRONTEND=noninteractive apt-get -o APT::Sandbox::User=root install -y -q \
  --no-install-recommends \
  "/tmp/$(basename "$package")" | tail -n 3

in_root velkor-flash --version
in_root velkor-sim --version
in_root velkor-tool --version
[ "$(stat -c %G "$root/usr/lib/velkor-tool/velkor-tool.ini")" = dialout ] \
  || { echo "package-test: the settings file does not belong to dialout" >&2; exit 1; }

in_root velkor-sim firmware --model j5 --family m3 -o /tmp/unit.hex >/dev/null
chroot "$root" velkor-sim --model j5 --family m3 --flash-out /tmp/flash.bin >"$root/tmp/sim.out" \
  2>/dev/null &
sim_pid=$!
device=
for _ in $(seq 100); do
  device=$(head -n 1 "$root/tmp/sim.out" 2>/dev/null || true)
  [ -n "$device" ] && break
  sleep 0.1
done
[ -n "$device" ] || { echo "package-test: velkor-sim did not start" >&2; exit 1; }
status=0
in_root velkor-flash write --port "$device" --model j5 --mcu m3 /tmp/unit.hex 2>"$root/tmp/write.log" \
  || status=$?
kill "$sim_pid"
wait "$sim_pid" || true
tail -n 2 "$root/tmp/write.log"
[ "$status" -eq 0 ] || { echo "package-test: velkor-flash write exited $status" >&2; exit 1; }
# The unit's flash holds the file's data where the file has it.
in_root velkor-flash image --mcu m3 /tmp/unit.hex -o /tmp/image.bin 2>/dev/null
cmp <(head -c $((0x20000)) "$root/tmp/image.bin") <(head -c $((0x20000)) "$root/tmp/flash.bin") \
  || { echo "package-test: the unit's flash differs from the file" >&2; exit 1; }
echo "package-test: $(basename "$package") installed on a clean system and updated a unit"
