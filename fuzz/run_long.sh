#!/usr/bin/env bash
# Long fuzzing runs, two targets at a time at the lowest priority, each for SECONDS; every run's
# log, crash artifacts and new inputs go to OUT/<name>/ (not part of the repository). Afterwards
# merge the new inputs into the corpus the tests replay with fuzz/merge_corpus.sh.
# Usage: fuzz/run_long.sh BUILD_FUZZ_DIR OUT SECONDS NAME...   (NAME: prefs, settings, png, ...)
# The fuzz build: CC=clang CXX=clang++ bash scripts/build.sh $PWD/build-fuzz -DTARNWOOD_FUZZ=ON
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(realpath "$1")" out="$(realpath -m "$2")" seconds="$3"
shift 3
mkdir -p "$out"

run_one() {
  local name=$1 dir="$out/$1"
  mkdir -p "$dir/new" "$dir/work"
  echo "$(date -u +%H:%M:%S) start $name" >> "$out/runs.txt"
  # The settings target works in a folder of its own: run it from a scratch folder.
  (cd "$dir/work" && nice -n 19 "$build/fuzz/${name}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
     -artifact_prefix="$dir/" "$dir/new" "$root/fuzz/corpus/$name" > "$dir/log.txt" 2>&1)
  echo "$(date -u +%H:%M:%S) end $name rc=$?" >> "$out/runs.txt"
}

running=0
for name in "$@"; do
  if ((running == 2)); then
    wait -n
    running=$((running - 1))
  fi
  run_one "$name" &
  running=$((running + 1))
done
wait
