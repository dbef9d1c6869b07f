#!/bin/sh
# Installs what the build, qelshape and the Python package need on a fresh
# Debian or Ubuntu machine, and only what is missing: with everything in
# place it does nothing and succeeds. The Python packages serve Debian's own
# interpreter, /usr/bin/python3; librsvg2-bin renders the pictures the tests
# look at.
set -e
missing=""
for tool in cmake g++; do
  command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
for pkg in libgtest-dev libgeos-dev nlohmann-json3-dev libcli11-dev libboost-dev libpng-dev \
           python3-dev python3-pybind11 pybind11-dev python3-numpy python3-pytest python3-pandas \
           python3-dask python3-distributed librsvg2-bin; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed" || missing="$missing $pkg"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing" >&2
sudo=""
if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null 2>&1; then sudo=sudo; fi
$sudo apt-get update
$sudo apt-get install -y $missing
