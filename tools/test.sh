#!/usr/bin/env bash
# Builds the toolkit and runs every test: the plain build, the sanitizer
# build, and the fuzz targets for a bounded time. Ends non-zero on any failure.
# The output of each build goes to a log in its folder, shown when it fails.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-30}

echo "== build and test (build log: build/build.log)"
tools/logged-build.sh build/configure.log cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
tools/logged-build.sh build/build.log cmake --build build
ctest --test-dir build --output-on-failure -j "$jobs" </dev/null

echo "== build and test under AddressSanitizer and UndefinedBehaviorSanitizer (build log: build-asan/build.log)"
tools/logged-build.sh build-asan/configure.log cmake -S . -B build-asan -G Ninja \
      -DCMAKE_BUILD_TYPE=Debug -DTOOLKIT_SANITIZE=ON -DTOOLKIT_BENCH=OFF
tools/logged-build.sh build-asan/build.log cmake --build build-asan
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" </dev/null

echo "== fuzz targets, ${fuzz_seconds}s each (build log: build-fuzz/build.log)"
tools/logged-build.sh build-fuzz/configure.log cmake -S . -B build-fuzz -G Ninja \
      -DCMAKE_BUILD_TYPE=Debug -DTOOLKIT_FUZZ=ON -DTOOLKIT_TESTS=OFF -DTOOLKIT_BENCH=OFF \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
tools/logged-build.sh build-fuzz/build.log cmake --build build-fuzz
for target in build-fuzz/fuzz/*_fuzz; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus=build-fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=tests/fuzz/seeds/${name%_fuzz}
  [ -d "$seeds" ] || seeds=
  echo "-- $name"
  "$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=0 "$corpus" $seeds </dev/null 2>build-fuzz/$name.log \
    || { tail -n 60 build-fuzz/$name.log; exit 1; }
done
echo "all checks passed"
