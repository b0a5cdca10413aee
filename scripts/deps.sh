#!/usr/bin/env bash
# Installs, with apt-get, every Debian package the project needs that is missing.
# Does nothing (and needs no network) when all of them are already there.
set -euo pipefail

packages=(
  g++ make cmake pkg-config        # build
  libgtest-dev libgmock-dev        # unit and integration tests
  libbenchmark-dev                 # make bench
  nlohmann-json3-dev               # fabric files of the simulator
  clang libclang-rt-14-dev         # libFuzzer harnesses (make fuzz)
  binutils                         # nm, for the exported-symbol check
  iproute2                         # ip: the tests' own network namespaces (scripts/in-netns.sh)
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "deps: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "deps: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
