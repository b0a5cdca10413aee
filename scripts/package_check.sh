#!/usr/bin/env bash
# Checks the Debian packages in DEB_DIR as an administrator meets them: lintian finds no error;
# on a bare Debian bookworm (a debootstrap chroot), `apt-get install ./*.deb` brings what they
# declare and that suffices: the programs start and say their build, the tool reads a switch of
# the simulator, the diagnostic host calls the shared library, every section-3 name opens its
# page, a C program builds against the library (shared and static) with pkg-config; purging
# them leaves no file behind.
#     scripts/package_check.sh DEB_DIR        (as root)
# The bare system is made once and kept under $TELVAR_CI_CACHE (/var/cache/telvar-ci), with
# the .deb files apt fetches, so that a second run needs little of the network.
set -euo pipefail
fail() { echo "package_check: $*" >&2; exit 1; }
[ $# -eq 1 ] || fail "usage: scripts/package_check.sh DEB_DIR"
[ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap, chroot)"
debs=$(cd "$1" && pwd)
ls "$debs"/*.deb >/dev/null 2>&1 || fail "no .deb in $debs"
cache=${TELVAR_CI_CACHE:-/var/cache/telvar-ci}
mirror=${TELVAR_DEBIAN_MIRROR:-http://deb.debian.org/debian}
base=$cache/bookworm-minbase
# The simulator's switch, on an address of the packaging checks (127.0.240.0/22).
switch=127.0.243.2
started=$(date +%s)

echo "== lintian"
lintian --fail-on error --suppress-tags-from-file /dev/null "$debs"/*.deb || fail "lintian reports errors"

if [ ! -e "$base/.complete" ]; then
    echo "== debootstrap bookworm (minbase) into $base"
    rm -rf "$base.tmp"
    mkdir -p "$cache"
    debootstrap --variant=minbase bookworm "$base.tmp" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
        fail "debootstrap failed: $cache/debootstrap.log"
    rm -rf "$base"
    mv "$base.tmp" "$base"
    touch "$base/.complete"
fi

root=$(mktemp -d /var/tmp/telvar-chroot.XXXXXX)
lists=$root.files
mkdir "$lists"
mounted=()
sim=""
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    # Whatever else still runs inside the chroot was started by this run.
    for proc in /proc/[0-9]*; do
        [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ] && kill "${proc#/proc/}" 2>/dev/null
    done
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[$i]}" || umount -l "${mounted[$i]}"; done
    rm -rf "$root" "$lists"
}
trap cleanup EXIT
cp -a "$base/." "$root/"
mkdir -p "$cache/archives/partial"
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts" && mounted+=("$root/dev/pts")
mount --bind "$cache/archives" "$root/var/cache/apt/archives" && mounted+=("$root/var/cache/apt/archives")
cp /etc/resolv.conf "$root/etc/resolv.conf"
# The simulator runs in the background as the chroot's own process, so that $! is its id.
start_sim() {
    chroot "$root" /usr/bin/env -i "${environment[@]}" switchsim --base "$switch" >"$root/tmp/switchsim.out" 2>&1 &
    sim=$!
    for _ in $(seq 100); do grep -q serving "$root/tmp/switchsim.out" 2>/dev/null && return; sleep 0.1; done
    fail "switchsim did not start: $(cat "$root/tmp/switchsim.out")"
}
stop_sim() {
    kill "$sim" 2>/dev/null || fail "switchsim had stopped: $(cat "$root/tmp/switchsim.out")"
    wait "$sim" 2>/dev/null || true
    sim=""
}
environment=(PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 HOME=/root DEBIAN_FRONTEND=noninteractive
             TELVARPORT=0 MANPAGER=cat)
in_root() { chroot "$root" /usr/bin/env -i "${environment[@]}" "$@"; }
# Every file of the system but the package manager's own records and caches. (Files are
# compared from before the packages were installed to after they and everything they brought
# were purged.)
files() {
    (cd "$root" && find . -xdev \( -path ./proc -o -path ./dev -o -path ./tmp -o -path ./var/lib/apt \
        -o -path ./var/lib/dpkg -o -path ./var/cache -o -path ./var/log -o -path ./run \) -prune \
        -o -print | grep -v '^\./etc/ld\.so\.cache$' | sort)
}

echo "== apt-get install ./*.deb on a bare bookworm"
in_root apt-get update -qq
files >"$lists/before"
in_root dpkg-query -W -f '${Package}\n' | sort >"$lists/packages.before"
mkdir "$root/tmp/debs"
cp "$debs"/*.deb "$root/tmp/debs/"
in_root sh -c 'cd /tmp/debs && apt-get install -y -qq ./*.deb' >/dev/null
packages=$(for d in "$debs"/*.deb; do dpkg-deb -f "$d" Package; done)

echo "== the programs"
version=$(in_root telvar --version)
echo "$version"
echo "$version" | grep -qx 'telvar version 1\.0\.8\.REV\.2001\.06\.21\.16\.33' || fail "telvar --version: library line"
echo "$version" | grep -q '^telvar build ' || fail "telvar --version: no build line"
for p in switchsim telvar-exporter telvard tvlsw-host; do
    in_root "$p" --version | grep -q "^$p build " || fail "$p --version says no build"
done
start_sim
out=$(in_root telvar version -port 0 "$switch") || fail "telvar version against switchsim: $out"
echo "$out" | grep -q '^WWN' || fail "telvar version printed no WWN: $out"
out=$(in_root tvlsw-host get_version "$switch") || fail "tvlsw-host get_version: $out"
echo "$out" | grep -q 'tvlsw_get_version returned 0' || fail "tvlsw-host: $out"
stop_sim

echo "== the library's pages and a C program built with pkg-config"
in_root apt-get install -y -qq --no-install-recommends gcc pkgconf man-db >/dev/null
in_root man 3 tv_get_version | grep -q TV_IDENTITY || fail "man 3 tv_get_version"
for page in $(in_root dpkg -L libtelvar-dev | sed -n 's|^/usr/share/man/man3/\(.*\)\.3\.gz$|\1|p'); do
    in_root man -w 3 "$page" >/dev/null || fail "no page for $page"
done
cat >"$root/tmp/probe.c" <<'PROBE'
#include <stdio.h>
#include <string.h>
#include <telvar/telvar.h>

int main(int argc, char **argv) {
    tv_context *ctx = tv_open(argc > 1 ? argv[1] : "127.0.0.2");
    tv_version_info v;
    if (ctx == NULL) return 1;
    fp = stdout;
    if (tv_get_version(ctx, &v) != 0) return 2;
    printf("%s %s\n", tv_api_version(), v.wwn[0] ? "wwn" : "none");
    tv_close(ctx);
    return 0;
}
PROBE
start_sim
in_root sh -c 'cd /tmp && cc probe.c -o probe_shared $(pkg-config --cflags --libs telvar)' || fail "build with telvar.pc"
in_root sh -c 'cd /tmp && cc probe.c -o probe_static $(pkg-config --cflags --libs telvar-static)' || fail "build with telvar-static.pc"
in_root readelf -d /tmp/probe_shared | grep -q 'NEEDED.*libtelvar\.so\.1' || fail "the shared probe does not use libtelvar.so.1"
if in_root readelf -d /tmp/probe_static | grep -q 'NEEDED.*libtelvar'; then fail "the static probe needs libtelvar.so"; fi
for probe in probe_shared probe_static; do
    out=$(in_root "/tmp/$probe" "$switch") || fail "$probe: $out"
    [ "$out" = "1.0.8.REV.2001.06.21.16.33 wwn" ] || fail "$probe printed: $out"
done
stop_sim

echo "== purge"
# Ours, and every package that came with them or with the compiler and man-db.
in_root dpkg-query -W -f '${Package}\n' | sort | comm -13 "$lists/packages.before" - >"$lists/packages.new"
for p in $packages; do grep -qx "$p" "$lists/packages.new" || fail "$p was not installed"; done
# shellcheck disable=SC2046  # one word per package
in_root apt-get purge -y -qq $(cat "$lists/packages.new") >/dev/null
rm -rf "$root/tmp/debs" "$root/tmp/"probe* "$root/tmp/switchsim.out"
files >"$lists/after"
diff "$lists/before" "$lists/after" || fail "purging left the files above behind (> left, < removed)"
echo "package_check: lintian clean of errors; installed, used and purged on bookworm in $(($(date +%s) - started)) s"
