#!/usr/bin/env bash
# Installs the Debian packages Clipmoor needs and the machine lacks.
#   scripts/install-deps.sh run     to build and start the application
#   scripts/install-deps.sh test    also the test suite's needs (GoogleTest, nginx, openssl, ffmpeg,
#                                   a D-Bus daemon for a private system bus, node for the
#                                   browser extension, the desktop-file validators, clang with
#                                   libFuzzer for the fuzz smoke step)
#   scripts/install-deps.sh bench   also Google Benchmark and the reference tools
set -euo pipefail

profile=${1:-run}
packages=(g++ cmake ninja-build pkg-config ca-certificates
          qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libqt6svg6 libgl-dev
          libcurl4-openssl-dev libsqlite3-dev
          gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-libav dpkg-dev)
case "$profile" in
  test | bench) packages+=(libgtest-dev libgmock-dev nginx-light openssl ffmpeg curl xvfb xauth
                      dbus-daemon nodejs desktop-file-utils appstream clang
                      libclang-rt-14-dev) ;;
  run) ;;
  *) echo "usage: $0 run|test|bench" >&2; exit 2 ;;
esac
[ "$profile" = bench ] && packages+=(libbenchmark-dev python3 time bc sqlite3)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
