#!/bin/sh
# Installs what building and testing Quillshade needs on Debian 12 (run as root, or
# with sudo available). Only missing packages are fetched.
set -eu
packages="cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev ${QUILLSHADE_EXTRA_PACKAGES:-}"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "installing:$missing"
$sudo apt-get update -qq
# shellcheck disable=SC2086 # the package list is split on purpose
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
