#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages the project needs that are missing:
#   scripts/deps.sh build   what building and running need (make, make install, make pictures)
#   scripts/deps.sh demo    that, and tshark, which decodes the demo's capture (make demo)
#   scripts/deps.sh test    that, and what the tests need (make test)
#   scripts/deps.sh fuzz    that, and the fuzzing compiler (make fuzz)
#   scripts/deps.sh packages  that, and what makes and checks the Debian packages (make deb,
#                             make test-packages)
# Does nothing (and needs no network) when all of them are already there.
set -euo pipefail

profile=${1:-test}
build=(
  g++ make cmake pkg-config        # build
  nlohmann-json3-dev               # fabric files of the simulator
  zlib1g-dev                       # the tool keeps texts deflated while a fabric is read
  libmicrohttpd-dev                # the HTTP server of the exporter (http_server/)
  libsqlite3-dev libpq-dev         # the fabric history's databases (history/)
  libcurl4-gnutls-dev              # telvard's alerts to Alertmanager, over http and https
  graphviz fonts-dejavu-core       # telvar map: dot lays the map out, in the fonts it names
  python3 git                      # the section-3 pages from the headers; the build's commit
)
packaging=(
  dpkg-dev file                    # dpkg-shlibdeps, and file, with which CPack finds the programs
  lintian                          # checks the packages
  debootstrap                      # a bare Debian to install them on
  systemd man-db                   # systemd-analyze on the units; the pages open with man
)
fuzz=(
  clang libclang-rt-14-dev         # libFuzzer harnesses (make fuzz)
)
wireshark=(
  tshark                           # reads captures with the dissector (tests, make demo)
)
test=(
  libgtest-dev libgmock-dev        # unit and integration tests
  binutils                         # nm, for the exported-symbol check
  iproute2                         # ip: the tests' own network namespaces (scripts/in-netns.sh)
  python3-jsonschema               # the JSON documents against docs/telvar.schema.json
  ansible-core                     # the Ansible modules (ansible/) against the simulator
  prometheus                       # a real server scraping the exporter
  postgresql                       # a real server under the history store's tests
  prometheus-alertmanager          # a real Alertmanager receiving telvard's alerts
  openssl                          # a certificate made at test time, for the HTTPS tests
  chromium                         # the README's pictures in a headless browser
  chromium-driver python3-selenium # the web console driven in that browser (console test)
  systemd man-db                   # systemd-analyze on the units; man -l on the installed pages
)
case "$profile" in
  build) packages=("${build[@]}") ;;
  demo) packages=("${build[@]}" "${wireshark[@]}") ;;
  fuzz) packages=("${build[@]}" "${fuzz[@]}") ;;
  packages) packages=("${build[@]}" "${packaging[@]}") ;;
  test) packages=("${build[@]}" "${fuzz[@]}" "${test[@]}" "${wireshark[@]}") ;;
  *) echo "usage: scripts/deps.sh [build|demo|test|fuzz|packages]" >&2; exit 2 ;;
esac

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
