#!/bin/sh
# Installs the build to a temporary prefix: the installed programs start from there with
# nothing set (their run path finds the library), say their build, and each has a page that
# `man -l` opens. Then builds a C program against it as an integrator would, with pkg-config:
# with the shared library; with telvar-static.pc, the README's static recipe, which must not
# need libtelvar.so although it lies beside the archive; and with the static library alone
# (which needs what Libs.private names). All programs must run.
# The diagnostic host's source is built the same ways.
#     packaging_test.sh BUILD_DIR C_COMPILER HOST_SOURCE
set -eu
build=$1
cc=$2
host_src=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "packaging_test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
test -f "$tmp/prefix/share/bash-completion/completions/telvar" || fail "no bash completion installed"
programs=$(ls "$tmp/prefix/bin")
[ "$(echo $programs)" = "switchsim telvar telvar-exporter telvard tvlsw-host" ] || fail "installed programs: $programs"
for p in $programs; do
    out=$(env -u LD_LIBRARY_PATH "$tmp/prefix/bin/$p" --version) || fail "$p does not start from the prefix: $out"
    echo "$out" | grep -q "^$p build [0-9]" || fail "$p --version says no build: $out"
    page=$(ls "$tmp/prefix/share/man/man1/$p.1.gz" "$tmp/prefix/share/man/man8/$p.8.gz" 2>/dev/null | head -1)
    test -n "$page" || fail "no page for $p"
    if command -v man >/dev/null; then
        MANWIDTH=80 man -l "$page" 2>&1 | grep -q "^NAME" || fail "man -l does not open the page of $p"
    fi
done
test -e "$tmp/prefix/share/man/man3/tv_get_version.3.gz" || fail "no section-3 page for tv_get_version"
# Nothing lands outside the prefix: the exporter's configuration stays inside it too.
test -f "$tmp/prefix/etc/telvar/exporter.conf" || fail "the exporter's configuration is not under the prefix"
outside=$(grep -v "^$tmp/prefix/" "$build/install_manifest.txt" || true)
[ -z "$outside" ] || fail "installed outside the prefix: $outside"
pc=$(find "$tmp/prefix" -name telvar.pc)
test -n "$pc" || fail "no telvar.pc installed"
export PKG_CONFIG_PATH="$(dirname "$pc")"
# The prefix is found from the file's own place, whatever prefix the build was configured with.
prefix=$(cd "$(pkg-config --variable=prefix telvar)" && pwd -P)
[ "$prefix" = "$(cd "$tmp/prefix" && pwd -P)" ] || fail "telvar.pc points at $prefix"
libdir=$(pkg-config --variable=libdir telvar)

cat > "$tmp/probe.c" <<'PROBE'
#include <stdio.h>
#include <telvar/telvar.h>

int main(void) {
    tv_context *ctx = tv_open("127.0.92.1");
    if (ctx == NULL) return 1;
    tv_close(ctx);
    fp = stdout;
    print_error(TV_ERR_PARAM);
    return 0;
}
PROBE
expected="Error: Invalid Parameter"

# shellcheck disable=SC2046  # pkg-config's flags are meant to be split
"$cc" "$tmp/probe.c" -o "$tmp/probe_shared" $(pkg-config --cflags --libs telvar)
[ "$(LD_LIBRARY_PATH="$libdir" "$tmp/probe_shared")" = "$expected" ] || fail "the program linked with the shared library"
# shellcheck disable=SC2046
"$cc" "$host_src" -o "$tmp/host_shared" $(pkg-config --cflags --libs telvar)
[ "$(LD_LIBRARY_PATH="$libdir" "$tmp/host_shared" --list | wc -l)" -eq 17 ] || fail "the diagnostic host linked with the shared library"

# The README's static recipe, with the shared library still there.
# shellcheck disable=SC2046
"$cc" "$tmp/probe.c" -o "$tmp/probe_recipe" $(pkg-config --cflags --libs telvar-static)
readelf -d "$tmp/probe_recipe" | grep -q 'NEEDED.*libtelvar' && fail "telvar-static.pc links libtelvar.so"
[ "$("$tmp/probe_recipe")" = "$expected" ] || fail "the program linked with telvar-static.pc"
# shellcheck disable=SC2046
"$cc" "$host_src" -o "$tmp/host_recipe" $(pkg-config --cflags --libs telvar-static)
readelf -d "$tmp/host_recipe" | grep -q 'NEEDED.*libtelvar' && fail "the diagnostic host with telvar-static.pc links libtelvar.so"
[ "$("$tmp/host_recipe" --list | wc -l)" -eq 17 ] || fail "the diagnostic host linked with telvar-static.pc"

rm -f "$libdir"/libtelvar.so*
# shellcheck disable=SC2046
"$cc" "$tmp/probe.c" -o "$tmp/probe_static" $(pkg-config --static --cflags --libs telvar)
readelf -d "$tmp/probe_static" | grep -q 'NEEDED.*libtelvar' && fail "the static program needs libtelvar.so"
[ "$("$tmp/probe_static")" = "$expected" ] || fail "the program linked with the static library"
# shellcheck disable=SC2046
"$cc" "$host_src" -o "$tmp/host_static" $(pkg-config --static --cflags --libs telvar)
[ "$("$tmp/host_static" --list | wc -l)" -eq 17 ] || fail "the diagnostic host linked with the static library"
echo "packaging_test: the installed programs start from the prefix and have pages; a probe and the diagnostic host built with the shared and the static library"
