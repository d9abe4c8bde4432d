#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Does nothing when they are all present already.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config python3
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-multimedia-dev qt6-svg-dev
  libqt6opengl6-dev qt6-l10n-tools
  libgtest-dev libgmock-dev libbenchmark-dev
  libasio-dev libmicrohttpd-dev libsystemd-dev libsqlite3-dev libsodium-dev libssl-dev
  libpqxx-dev postgresql  # PostgreSQL accounts; the tests start a throwaway server
  libcpp-httplib-dev  # only the server tests' HTTP client
  haproxy nats-server libnats-dev  # the cluster: its balancer and bus (server/cluster)
  qtkeychain-qt6-dev gnome-keyring
  nlohmann-json3-dev libcli11-dev
  fp-utils libchm-dev
  clang-format xvfb xauth x11-utils imagemagick dbus dbus-x11 bc
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-tools
  qml6-module-qtmultimedia libqt6multimedia6 fonts-dejavu-core
  dpkg-dev lintian appstream desktop-file-utils scdoc systemd
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
