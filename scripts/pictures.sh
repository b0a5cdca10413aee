#!/usr/bin/env bash
# Draws the pictures the README shows (make pictures): the map and a panel of the default
# simulated fabric, and the map of a generated ring of 12 switches and 10,000 devices with one
# port set offline.
#   scripts/pictures.sh BIN_DIR [OUT_DIR] [BASE_ADDRESS] [RING_ADDRESS]
# BIN_DIR holds telvar and switchsim; the pictures go to OUT_DIR (docs/pictures); the default
# fabric's three switches take BASE_ADDRESS (127.0.0.2) and the two addresses after it, the
# ring's first switch RING_ADDRESS (127.0.0.5). The pictures hold no time and no address, so
# that the same fabric always gives the same files.
set -euo pipefail

bin=${1:?usage: scripts/pictures.sh BIN_DIR [OUT_DIR] [BASE_ADDRESS] [RING_ADDRESS]}
out=${2:-docs/pictures}
base=${3:-127.0.0.2}
ring=${4:-127.0.0.5}
export TELVARPORT=0

work=$(mktemp -d)
sims=()
trap 'for p in "${sims[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done; rm -rf "$work"' EXIT
"$bin/switchsim" --base "$base" >"$work/switchsim.log" 2>&1 &
sims+=($!)
"$bin/switchsim" --base "$ring" --generate 12,10000 >"$work/ring.log" 2>&1 &
sims+=($!)

for address in "$base" "$ring"; do
  for _ in $(seq 100); do
    "$bin/telvar" version "$address" >/dev/null 2>&1 && break
    sleep 0.1
  done
done
mkdir -p "$out"
"$bin/telvar" snapshot -o "$work/fabric.json" "$base"
"$bin/telvar" map -o "$out/fabric-map.svg" "$work/fabric.json"
"$bin/telvar" panel -o "$out/panel-sw1.svg" "$work/fabric.json" 1
"$bin/telvar" port_state -s off -f 114000 "$ring" 9 >/dev/null  # chassis 5
"$bin/telvar" snapshot -o "$work/ring.json" "$ring"
"$bin/telvar" map -o "$out/ring-map.svg" "$work/ring.json"
echo "pictures: $out/fabric-map.svg $out/panel-sw1.svg $out/ring-map.svg"
