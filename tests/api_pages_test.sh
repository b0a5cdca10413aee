#!/bin/sh
# The section-3 pages cover the interface: every name the shared library exports opens a page
# (MAN3_DIR/NAME.3.gz), every page's example compiles against the public headers, and the
# headers hold no family or record that no page describes (the generator only warns while
# building, so that a new family does not stop the build).
#     api_pages_test.sh LIBRARY MAN_DIR SOURCE_DIR C_COMPILER
set -eu
lib=$1
man=$2
src=$3
cc=$4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "api_pages_test: $*" >&2; exit 1; }

# Names whose page the C library's manual already holds are on their family's page, unlinked.
unlinked=$(sed -n 's/^unlinked://p' "$src"/docs/api/*.page)
missing=""
for name in $(nm -D --defined-only "$lib" | awk '$2 ~ /^[TDBRVW]$/ && $3 !~ /^_/ {print $3}'); do
    case " $unlinked " in *" $name "*) continue ;; esac
    [ -e "$man/man3/$name.3.gz" ] || missing="$missing $name"
done
[ -z "$missing" ] || fail "exported without a page:$missing"
zcat "$man/man3/tv_get_version.3.gz" | grep -q '^\.TH TV_IDENTITY 3' || fail "tv_get_version does not lead to tv_identity(3)"

count=0
for example in "$man"/examples/*.c; do
    "$cc" -std=c11 -Wall -Wextra -Werror -I"$src/include" -c "$example" -o "$tmp/example.o" ||
        fail "the example of $(basename "$example" .c)(3) does not compile"
    count=$((count + 1))
done
[ "$count" -ge 19 ] || fail "only $count examples"

cp -r "$src/include/telvar" "$tmp/include"
printf '/* ---- A new family ---- */\nTV_EXPORT int32_t tv_new_operation(tv_context *ctx);\n' >>"$tmp/include/tv_api.h"
python3 "$src/scripts/api_pages.py" --check "$src/include/telvar" "$src/docs/api" 0 "$tmp/now" ||
    fail "the headers and docs/api/*.page disagree (above)"
if python3 "$src/scripts/api_pages.py" --check "$tmp/include" "$src/docs/api" 0 "$tmp/out" 2>"$tmp/err"; then
    fail "a family on no page went unnoticed"
fi
grep -q 'section "A new family" is on no page' "$tmp/err" || fail "unexpected message: $(cat "$tmp/err")"
echo "api_pages_test: every exported name has a page, $count examples compile"
