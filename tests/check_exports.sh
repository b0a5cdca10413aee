#!/usr/bin/env bash
# Checks that every name listed in the files (one per line, # comments) is defined in the
# shared library's dynamic symbol table under its exact, unmangled name.
set -u
lib=$1
shift
defined=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort -u)
missing=0
while read -r name _; do
  case "$name" in ''|'#'*) continue ;; esac
  if ! grep -qx -- "$name" <<<"$defined"; then
    echo "not exported: $name"
    missing=1
  fi
done < <(cat "$@" 2>/dev/null)
exit $missing
