#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds everything with warnings as errors
# and runs every test (the whole-program tests on an Xvfb display), then builds everything
# again under AddressSanitizer and UndefinedBehaviorSanitizer and runs every test there (the
# protocol and service tests with leak checks), and fuzzes the record decoder and the
# incremental reader for a bounded time in all (KV_FUZZ_SECONDS, default 60, shared by the
# two; 0 skips it). The first build is also packed into Debian packages, which are
# validated and installed into a throwaway root.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh

jobs=$(nproc)
# A compiler cache, where the machine has one, makes a second run rebuild only what changed.
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
fuzz_seconds=${KV_FUZZ_SECONDS:-60}

echo "== formatting"
# Debian's clang-format, with the checked-in .clang-format, over every tracked C/C++ file.
if ! git ls-files -z -- '*.cpp' '*.h' '*.c' '*.hpp' '*.cc' | xargs -0 clang-format --dry-run -Werror; then
  echo "Formatting differs from .clang-format in the files above; run clang-format -i on them." >&2
  exit 1
fi

echo "== build (warnings are errors)"
# Installed under /usr, so that the same build makes the packages.
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  -DCMAKE_INSTALL_PREFIX=/usr "${launcher[@]}" >/dev/null
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
# A session bus of the run's own, where no keyring or notification service starts on
# demand: the desktop's would be reached, or one would be launched on the test display.
bus=$(dbus-daemon --config-file=tests/support/session-bus.conf --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS=$(echo "$bus" | sed -n 1p)
bus_pid=$(echo "$bus" | sed -n 2p)
trap 'kill $xvfb_pid $bus_pid 2>/dev/null || true' EXIT
export DISPLAY=$display
# The first test must not race the server's start-up.
for _ in $(seq 1 100); do
  xdpyinfo >/dev/null 2>&1 && break
  kill -0 $xvfb_pid 2>/dev/null || break
  sleep 0.1
done
if ! xdpyinfo >/dev/null 2>&1; then
  echo "Xvfb did not come up on display $display" >&2
  exit 1
fi
(cd build/test && ctest -j "$jobs" --output-on-failure --timeout 300)

echo "== packages"
# The build above packed as it is (no build of its own), then lintian, the AppStream and
# launcher validators, the unit's exposure and the install into a throwaway root.
scripts/package.sh build/test
scripts/test_packages.sh out build/test

echo "== sanitizers"
# One AddressSanitizer + UndefinedBehaviorSanitizer build of everything. Each test carries
# its own ASAN_OPTIONS (tests/CMakeLists.txt): the protocol and service tests check for
# leaks, the rest do not. The tests are listed without leak checks, since listing the widget
# programs opens the display, where the system's GL driver keeps an allocation of its own.
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "${launcher[@]}" >/dev/null
cmake --build build/asan -j "$jobs"
(cd build/asan && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest -j "$jobs" --output-on-failure --timeout 300)

if [ "$fuzz_seconds" -gt 0 ]; then
  # Two targets share the time: the decoder, and the incremental reader fed in pieces.
  each=$(( fuzz_seconds / 2 > 0 ? fuzz_seconds / 2 : 1 ))
  echo "== fuzzing the record decoder and the incremental reader for ${each}s each"
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_CLIENT=OFF \
    -DKV_FUZZ=ON -DKV_FUZZ_SECONDS="$each" >/dev/null
  # Any crash, leak or sanitizer report ends the run with a non-zero status.
  cmake --build build/fuzz -j "$jobs" --target fuzz-codec
  cmake --build build/fuzz -j "$jobs" --target fuzz-reader
fi
echo "== all tests passed"
