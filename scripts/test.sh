#!/usr/bin/env bash
# Builds and runs the whole test suite: plain, then under AddressSanitizer and
# UndefinedBehaviorSanitizer, then a short run of every fuzz target. Installs what it needs.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
fuzz_runs=${VELKOR_FUZZ_RUNS:-20000}

step() { printf '\n=== %s\n' "$*"; }

step "dependencies"
scripts/install-deps.sh

step "format check"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

build_and_test() {
  local dir=$1
  shift
  step "build $dir"
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir" -j "$jobs"
  step "test $dir"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

build_and_test build -DCMAKE_BUILD_TYPE=RelWithDebInfo
build_and_test build-asan -DCMAKE_BUILD_TYPE=Debug -DVELKOR_SANITIZE=ON -DVELKOR_BENCH=OFF

if command -v clang++ >/dev/null; then
  step "fuzz ($fuzz_runs runs each)"
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
    -DVELKOR_SANITIZE=ON -DVELKOR_FUZZ=ON -DVELKOR_TESTS=OFF -DVELKOR_BENCH=OFF
  cmake --build build-fuzz -j "$jobs"
  for target in hex s19 settings; do
    corpus=$(mktemp -d)
    cp fuzz/corpus/"$target"/* "$corpus"/
    build-fuzz/fuzz/fuzz_"$target" -runs="$fuzz_runs" -max_len=4096 "$corpus" 2>&1 | tail -n 2
    rm -rf "$corpus"
  done
fi

step "all tests passed"
