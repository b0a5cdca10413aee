#!/usr/bin/env bash
# Draws the pictures the README shows from the default simulated fabric (make pictures):
#   scripts/pictures.sh BIN_DIR [OUT_DIR] [BASE_ADDRESS]
# BIN_DIR holds telvar and switchsim; the pictures go to OUT_DIR (docs/pictures); the simulator's
# three switches take BASE_ADDRESS (127.0.0.2) and the two addresses after it. The pictures
# hold no time and no address, so that the same fabric always gives the same files.
set -euo pipefail

bin=${1:?usage: scripts/pictures.sh BIN_DIR [OUT_DIR] [BASE_ADDRESS]}
out=${2:-docs/pictures}
base=${3:-127.0.0.2}
export TELVARPORT=0

work=$(mktemp -d)
"$bin/switchsim" --base "$base" >"$work/switchsim.log" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -rf "$work"' EXIT

for _ in $(seq 100); do
  "$bin/telvar" version "$base" >/dev/null 2>&1 && break
  sleep 0.1
done
mkdir -p "$out"
"$bin/telvar" snapshot -o "$work/fabric.json" "$base"
"$bin/telvar" map -o "$out/fabric-map.svg" "$work/fabric.json"
"$bin/telvar" panel -o "$out/panel-sw1.svg" "$work/fabric.json" 1
echo "pictures: $out/fabric-map.svg $out/panel-sw1.svg"
