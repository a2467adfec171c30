#!/usr/bin/env bash
# Builds and runs the whole test suite: plain, then under AddressSanitizer and
# UndefinedBehaviorSanitizer, the threaded parts under ThreadSanitizer, then a short run of
# every fuzz target, then the arm64 and armhf cross builds with their tests under qemu-user.
# Installs what it needs.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
fuzz_runs=${VELKOR_FUZZ_RUNS:-20000}

# Each stage's wall time, shown at the end.
stage_names=()
stage_seconds=()
stage_start=$SECONDS
step() {
  stage_names+=("$*")
  stage_seconds+=("$SECONDS")
  printf '\n=== %s\n' "$*"
}
stage_times() {
  local i end
  printf '\n=== stage times\n'
  for i in "${!stage_names[@]}"; do
    end=${stage_seconds[$((i + 1))]:-$SECONDS}
    printf '%6d s  %s\n' $((end - stage_seconds[i])) "${stage_names[i]}"
  done
  printf '%6d s  in all\n' $((SECONDS - stage_start))
}

step "dependencies"
scripts/install-deps.sh

step "format check"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

# skip_label: tests of that label are left out of this build's run.
build_and_test() {
  local dir=$1
  shift
  step "build $dir"
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir" -j "$jobs"
  step "test $dir"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" ${skip_label:+-LE "$skip_label"}
}
skip_label=

# Warnings are errors here, though never in a user's build.
build_and_test build-release -DCMAKE_BUILD_TYPE=Release -DVELKOR_WERROR=ON -DVELKOR_BENCH=ON
# The Debian package of this machine's architecture, installed on a clean system; the portable
# folder; the pictures in docs/ against the program as it is now.
step "package"
cmake --build build-release --target portable
(cd build-release && cpack -G DEB)
step "install the package on a clean system"
scripts/package-test.sh build-release/velkor-tool_*_"$(dpkg --print-architecture)".deb
step "screenshots"
VELKOR_BUILD_DIR=build-release scripts/screenshots.sh --check

# The station's page in a browser and under Prometheus runs once, above; its server's own test
# runs here and under ThreadSanitizer.
skip_label=browser
build_and_test build-asan -DCMAKE_BUILD_TYPE=Debug -DVELKOR_WERROR=ON -DVELKOR_SANITIZE=ON

# The worker hand-off and the command line's runs against the simulator, under ThreadSanitizer.
step "build build-tsan"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELKOR_WERROR=ON -DVELKOR_TSAN=ON \
  -DVELKOR_GUI=OFF
cmake --build build-tsan -j "$jobs" --target core_tests e2e_tests
step "test build-tsan"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
ctest --test-dir build-tsan --output-on-failure -j "$jobs" -R 'WorkerHandOff|WorkerTest|SequenceTest'
ctest --test-dir build-tsan --output-on-failure -L e2e
unset TSAN_OPTIONS

if command -v clang++ >/dev/null; then
  step "fuzz ($fuzz_runs runs each)"
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
    -DVELKOR_WERROR=ON -DVELKOR_SANITIZE=ON -DVELKOR_FUZZ=ON -DBUILD_TESTING=OFF -DVELKOR_GUI=OFF
  cmake --build build-fuzz -j "$jobs" --target fuzz_hex fuzz_s19 fuzz_settings fuzz_replies \
    fuzz_file_check fuzz_options fuzz_host
  for target in hex s19 settings replies file_check options host; do
    corpus=$(mktemp -d)
    cp fuzz/corpus/"$target"/* "$corpus"/
    build-fuzz/fuzz/fuzz_"$target" -runs="$fuzz_runs" -max_len=4096 "$corpus" 2>&1 | tail -n 2
    rm -rf "$corpus"
  done
fi

# The units' ARM builds: their tests and a FireFile update of velkor-tool under qemu-user, and
# their packages.
for arch in arm64 armhf; do
  step "cross build $arch"
  scripts/cross.sh "$arch"
done

step "all tests passed"
stage_times
