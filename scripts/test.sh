#!/usr/bin/env bash
# Builds everything and runs every test: the unit and end-to-end tests (warnings are
# errors), the protocol and service tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the record decoder under libFuzzer for a bounded time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh

jobs=$(nproc)
fuzz_seconds=${KV_FUZZ_SECONDS:-60}

echo "== build (warnings are errors)"
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_WERROR=ON >/dev/null
cmake --build build/test -j "$jobs"

echo "== tests"
# A private runtime folder and an X-less Qt; tests that need a real window start Xvfb.
export XDG_RUNTIME_DIR=$(mktemp -d)
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
(cd build/test && ctest -j "$jobs" --output-on-failure --timeout 300)

echo "== sanitizers (protocol, connections, service)"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_CLIENT=OFF -DKV_SANITIZE=ON -DKV_WERROR=ON >/dev/null
cmake --build build/asan -j "$jobs"
(cd build/asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest -j "$jobs" --output-on-failure --timeout 300)

if [ "$fuzz_seconds" -gt 0 ]; then
  echo "== fuzzing the record decoder for ${fuzz_seconds}s"
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_CLIENT=OFF \
    -DKV_FUZZ=ON -DKV_FUZZ_SECONDS="$fuzz_seconds" >/dev/null
  # Any crash, leak or sanitizer report ends the run with a non-zero status.
  cmake --build build/fuzz -j "$jobs" --target fuzz-codec
fi
echo "== all tests passed"
