#!/usr/bin/env bash
# The demo. Until the command-line tool and the simulator exist it shows the protocol spine:
# exchanges with an echo responder on loopback, against the plain UDP round trip.
set -euo pipefail
bin=${1:-build/bin}
echo "+ $bin/telvar_bench"
"$bin/telvar_bench"
