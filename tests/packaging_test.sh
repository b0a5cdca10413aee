#!/bin/sh
# Installs the build to a temporary prefix and builds a C program against it as an integrator
# would, with pkg-config: once with the shared library, once with the static library alone
# (which needs what Libs.private names). Both programs must run.
# The diagnostic host's source is built the same two ways.
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

rm -f "$libdir"/libtelvar.so*
# shellcheck disable=SC2046
"$cc" "$tmp/probe.c" -o "$tmp/probe_static" $(pkg-config --static --cflags --libs telvar)
readelf -d "$tmp/probe_static" | grep -q 'NEEDED.*libtelvar' && fail "the static program needs libtelvar.so"
[ "$("$tmp/probe_static")" = "$expected" ] || fail "the program linked with the static library"
# shellcheck disable=SC2046
"$cc" "$host_src" -o "$tmp/host_static" $(pkg-config --static --cflags --libs telvar)
[ "$("$tmp/host_static" --list | wc -l)" -eq 17 ] || fail "the diagnostic host linked with the static library"
echo "packaging_test: installed, built and ran a probe and the diagnostic host with the shared and the static library"
