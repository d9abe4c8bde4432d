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
# A private runtime folder; widget tests run headless, the whole-program tests on a real X
# display (Xvfb), which has no notification area.
export XDG_RUNTIME_DIR=$(mktemp -d)
export QTWEBENGINE_DISABLE_SANDBOX=1
unset QT_QPA_PLATFORM
display=":$((200 + RANDOM % 400))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
export DISPLAY=$display
(cd build/test && ctest -j "$jobs" --output-on-failure --timeout 300)

echo "== sanitizers"
# One AddressSanitizer + UndefinedBehaviorSanitizer build of everything. The protocol,
# connection and service tests (labels net, server) also check for leaks; the rest do not:
# Qt, fontconfig and the web engine keep process-lifetime allocations. The web engine's own
# Chromium code trips the sized-delete check when its pages are destroyed, inside the
# library; that check alone is off for those.
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON -DKV_WERROR=ON >/dev/null
cmake --build build/asan -j "$jobs"
server_labels='^(net|server)$'
(cd build/asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest -j "$jobs" --output-on-failure --timeout 300 -L "$server_labels")
(cd build/asan && ASAN_OPTIONS=detect_leaks=0:new_delete_type_mismatch=0 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest -j "$jobs" --output-on-failure --timeout 300 -LE "$server_labels")

if [ "$fuzz_seconds" -gt 0 ]; then
  echo "== fuzzing the record decoder for ${fuzz_seconds}s"
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_CLIENT=OFF \
    -DKV_FUZZ=ON -DKV_FUZZ_SECONDS="$fuzz_seconds" >/dev/null
  # Any crash, leak or sanitizer report ends the run with a non-zero status.
  cmake --build build/fuzz -j "$jobs" --target fuzz-codec
fi
echo "== all tests passed"
