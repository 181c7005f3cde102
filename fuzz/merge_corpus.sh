#!/usr/bin/env bash
# Merges the inputs a long run found into the corpus the tests replay: only inputs that add
# coverage to what fuzz/corpus/<name>/ already reaches are kept (libFuzzer's -merge=1), so the
# corpus stays small. Prints the corpus's file count and size before and after.
# Usage: fuzz/merge_corpus.sh BUILD_FUZZ_DIR OUT NAME...
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(realpath "$1")" out="$(realpath "$2")"
shift 2
for name in "$@"; do
  corpus="$root/fuzz/corpus/$name"
  before="$(ls "$corpus" | wc -l) files, $(du -sk "$corpus" | cut -f1) kB"
  mkdir -p "$out/$name/work"
  (cd "$out/$name/work" && "$build/fuzz/${name}_fuzz" -merge=1 "$corpus" "$out/$name/new" > "$out/$name/merge.txt" 2>&1)
  echo "$name: $before -> $(ls "$corpus" | wc -l) files, $(du -sk "$corpus" | cut -f1) kB"
done
