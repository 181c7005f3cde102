#!/usr/bin/env bash
# Merges the inputs a long run found into the corpus the tests replay, kept small: the named
# inputs of fuzz/corpus/<name>/ (hand-made seeds and earlier findings) always stay; of the inputs
# named by their hash (earlier merges) and the new ones, libFuzzer's merge keeps only those that
# reach code edges the others do not (-use_counters=0: hit counts do not count as new).
# Prints the corpus's file count and size before and after.
# Usage: fuzz/merge_corpus.sh BUILD_FUZZ_DIR OUT NAME...
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && cd .. && pwd)"
build="$(realpath "$1")" out="$(realpath "$2")"
shift 2
size() { echo "$(ls "$1" | wc -l) files, $(du -sb "$1" | cut -f1) bytes"; }
for name in "$@"; do
  corpus="$root/fuzz/corpus/$name"
  before="$(size "$corpus")"
  merged="$out/$name/merged" hashed="$out/$name/hashed"
  rm -rf "$merged" "$hashed"
  mkdir -p "$merged" "$hashed" "$out/$name/work" "$out/$name/new"
  for f in "$corpus"/*; do
    if [[ "$(basename "$f")" =~ ^[0-9a-f]{40}$ ]]; then cp "$f" "$hashed/"; else cp "$f" "$merged/"; fi
  done
  (cd "$out/$name/work" && "$build/fuzz/${name}_fuzz" -merge=1 -use_counters=0 "$merged" "$hashed" "$out/$name/new" \
     > "$out/$name/merge.txt" 2>&1)
  rm -rf "$corpus"
  cp -r "$merged" "$corpus"
  echo "$name: $before -> $(size "$corpus")"
done
