#!/usr/bin/env bash
# Cross builds the programs for a head unit's ARM processor with Debian's cross compiler and
# the unit architecture's multiarch libraries, then runs the core, simulator and end-to-end
# tests and a "FireFile" update of velkor-tool under qemu-user, and makes the Debian package
# when the build has a CPack configuration. Installs what it needs.
#
#   scripts/cross.sh arm64|armhf        builds in build-arm64 or build-armhf
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
arch=${1:-}
case "$arch" in
  arm64) triplet=aarch64-linux-gnu ;;
  armhf) triplet=arm-linux-gnueabihf ;;
  *) echo "usage: scripts/cross.sh arm64|armhf" >&2; exit 64 ;;
esac
build=build-$arch
jobs=$(nproc)

started=$(date +%s)
step_started=
step() {
  local now
  now=$(date +%s)
  [ -z "$step_started" ] || printf '(%d s)\n' $((now - step_started))
  step_started=$now
  printf '\n=== %s\n' "$*"
}

step "dependencies ($arch)"
# Build machine packages, then the unit's libraries for the same architecture.
packages=(
  cmake ninja-build pkg-config file dpkg-dev help2man
  "crossbuild-essential-$arch" qemu-user
  qt6-base-dev-tools libcli11-dev nlohmann-json3-dev fonts-liberation libmicrohttpd-dev
)
for package in libgtest-dev libgmock-dev qt6-base-dev qt6-qpa-plugins libx11-dev libgl-dev \
  libssl-dev libudev-dev libmicrohttpd12; do
  packages+=("$package:$arch")
done
# The unit's architecture beside this machine's, so that apt offers its libraries.
if ! dpkg --print-foreign-architectures | grep -qx "$arch" && [ "$(id -u)" -eq 0 ]; then
  dpkg --add-architecture "$arch"
fi
scripts/install-deps.sh "${packages[@]}"

step "build $build"
# Release, as the package ships it; warnings are errors here, as in scripts/test.sh.
cmake -S . -B "$build" -G Ninja --toolchain "cmake/toolchains/$triplet.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DVELKOR_WERROR=ON
cmake --build "$build" -j "$jobs"

step "test $build under qemu-user"
# qemu-user runs glibc's posix_spawn child as a plain fork, not a vfork sharing memory: a
# failed exec is never reported to the parent, and the call returns before the exec. These
# tests check exactly that of the tool's shell start, so they run only in the native builds.
spawn_bound='^ShellProcessStart\.(PathSearchSkipsWhatCannotBeRun|FailedExecIsReported'
spawn_bound+='|PathWithASlashIsTakenAsIs)$|^ShellProcess\.ExecutablePathIsTheResolvedFile$'
# The station's page in a browser and under Prometheus runs in the native Release build only.
ctest --test-dir "$build" --output-on-failure -j "$jobs" -E "$spawn_bound" -LE browser

step "velkor-tool updates a simulated unit under qemu-user, offscreen"
env -u DISPLAY VELKOR_DEMO_BUILD="$build" scripts/demo.sh

if [ -f "$build/CPackConfig.cmake" ]; then
  step "package $build"
  # dpkg-shlibdeps then reads the unit architecture's libraries with its objdump.
  (cd "$build" && DEB_HOST_ARCH=$arch cpack -G DEB)
  # The folder a technician carries to the units on a storage card.
  cmake --build "$build" --target portable
fi

step "all done for $arch in $(($(date +%s) - started)) s"
