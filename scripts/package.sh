#!/usr/bin/env bash
# Builds the Debian packages kestrivan, zorvid and zorvi-probe into out/.
#   scripts/package.sh            a release build of its own (build/package), hardened with
#                                 Debian's build flags, without the tests
#   scripts/package.sh BUILD      packs an existing build folder (configured with
#                                 -DCMAKE_INSTALL_PREFIX=/usr), building what is missing
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh

build=${1:-}
if [ -z "$build" ]; then
  build=build/package
  launcher=()
  if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
  # Debian's flags with every hardening feature (bindnow too); CMake reads no CPPFLAGS, so
  # the preprocessor's (_FORTIFY_SOURCE) go with the compilers'.
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  cpp=$(dpkg-buildflags --get CPPFLAGS)
  CFLAGS="$(dpkg-buildflags --get CFLAGS) $cpp" CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $cpp" \
  LDFLAGS=$(dpkg-buildflags --get LDFLAGS) \
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
      -DCMAKE_INSTALL_PREFIX=/usr "${launcher[@]}" >/dev/null
fi
build=$(cd "$build" && pwd)
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
if [ "$prefix" != /usr ]; then
  echo "$build is configured for $prefix; packages need -DCMAKE_INSTALL_PREFIX=/usr" >&2
  exit 1
fi
cmake --build "$build" -j "$(nproc)"

# CPack's staging folder stays in the build; only the packages go to out/.
rm -rf "$build/cpack"
(cd "$build" && cpack -G DEB -B "$build/cpack" >/dev/null)
mkdir -p out
rm -f out/kestrivan_*.deb out/zorvid_*.deb out/zorvi-probe_*.deb
cp "$build"/cpack/*.deb out/
ls out/*.deb
