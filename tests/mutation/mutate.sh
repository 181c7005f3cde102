#!/usr/bin/env bash
# Mutation check of the unit and scenario tests: applies each single-line fault of faults.tsv to a
# copy of the tree, rebuilds the test program incrementally, runs it, restores the line and prints
# per fault whether the tests caught it, then the kill rate over the faults that can change
# behaviour. Not part of CI (see tests/README.md for how long it takes).
#
#   bash tests/mutation/mutate.sh [-k] [-o results.tsv] [-t seconds] [fault id ...]
#   bash tests/mutation/mutate.sh -b build [-o results.tsv] [fault id ...]
#   bash tests/mutation/mutate.sh -s results.tsv [later-results.tsv ...]
#
# With -k the copy of an earlier run is kept as it is (to go on with more faults against the tests
# it was made with). With -b the faults are applied to the work tree itself and built in the given
# build folder of it (one already built saves the first build); each file is restored as below,
# and the work tree must not be edited meanwhile. The -s form only counts: it merges result files
# (a later file's verdict for a fault replaces an earlier one, so a run of the survivors alone can
# follow a full run) and prints the kill rate with the equivalence marks of faults.tsv as they are.
#
# The copy is build-mutation/src (the tracked and untracked, not ignored files of the work tree as
# they are now, copied afresh on every start with their times, so an unchanged file is not
# compiled again), its build folder build-mutation/build (CMake, ccache when present, so a restored
# file compiles from the cache). A fault whose original text is missing or not unique in
# its file is reported as "bad" and not counted. A test run longer than the time limit (-t, default
# 240 s) counts as caught: a hang fails CI too. The source of the copy is restored after each
# fault, also when the run is interrupted.
# Relies on: bash, perl, cmake, the build dependencies of the project; timeout (coreutils).
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
faults="$root/tests/mutation/faults.tsv"
work="$root/build-mutation"
results="$work/results.tsv"
limit=240
summary_only=0
in_place=""
keep_copy=0
while getopts "o:t:sb:k" opt; do
  case $opt in
    k) keep_copy=1 ;;
    b) in_place="$(cd "$OPTARG" && pwd)" ;;
    o) results="$OPTARG" ;;
    t) limit="$OPTARG" ;;
    s) summary_only=1 ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))

# The kill rate of one or more result files (see above).
summary() {
  awk -F'\t' '
    FNR == 1 { file++ }
    file == 1 { if ($1 ~ /^F[0-9]+$/) { order[++n] = $1; equivalent[$1] = $4 } next }
    $1 ~ /^F[0-9]+$/ { verdict[$1] = $5 }
    END {
      for (i = 1; i <= n; i++) {
        id = order[i]
        if (!(id in verdict)) continue
        if (equivalent[id] == "yes") { eq++; if (verdict[id] == "caught") eq_caught++; continue }
        if (verdict[id] == "caught") caught++
        else if (verdict[id] == "survived") { survived++; list = list " " id }
        else bad++
      }
      counted = caught + survived
      printf "mutation: %d of %d faults that change behaviour caught (%.1f %%); %d marked equivalent (%d of them failed a test); %d bad\n",
             caught, counted, counted ? 100 * caught / counted : 0, eq, eq_caught, bad
      if (list != "") print "mutation: survivors:" list
    }' "$faults" "$@"
}
if ((summary_only)); then
  summary "$@"
  exit 0
fi
declare -A wanted=()
for id in "$@"; do wanted[$id]=1; done

src="$work/src"
build="$work/build"
jobs="${MUTATION_JOBS:-2}"
mkdir -p "$work"

if [[ -n "$in_place" ]]; then
  src="$root"
  build="$in_place"
  [[ "$results" == "$work/results.tsv" ]] && results="$work/results_in_place.tsv"
  work="$work/in-place"  # its own logs, so that a run on the copy can go on beside it
  mkdir -p "$work"
elif ((keep_copy)) && [[ -f "$build/CMakeCache.txt" ]]; then
  echo "mutation: keeping the copy in $src"
else
  echo "mutation: copying the tracked files to $src"
  rm -rf "$src"
  mkdir -p "$src"
  (cd "$root" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp -p --parents -t "$src" 2> /dev/null)
  launcher=()
  command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" > "$work/configure.log" 2>&1 ||
    { cat "$work/configure.log"; exit 1; }
fi
echo "mutation: building the unmutated test program"
cmake --build "$build" -j "$jobs" --target tarnwood_tests > "$work/build.log" 2>&1 || { tail -40 "$work/build.log"; exit 1; }
tests="$build/tests/tarnwood_tests"
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
run_tests() {
  (cd "$build/tests" && timeout --kill-after=10 "$limit" "$tests" --gtest_fail_fast --gtest_brief=1 > "$work/test.log" 2>&1)
}
started=$SECONDS
run_tests || { echo "mutation: the unmutated tests fail; see $work/test.log"; exit 1; }
echo "mutation: the unmutated tests pass in $((SECONDS - started)) s"

# Replaces the one occurrence of the original text in the file by the replacement (in both, \n
# stands for a line break and \\ for a backslash); exit 3 when it is missing or not unique.
apply() {
  ORIG="$2" REPL="$3" perl -0777 -i -e '
    local $/; my $text = <>; my ($o, $r) = ($ENV{ORIG}, $ENV{REPL});
    s/\\(.)/$1 eq "n" ? "\n" : $1/ge for $o, $r;
    my $n = () = $text =~ /\Q$o\E/g;
    if ($n != 1) { print $text; exit 3 }
    $text =~ s/\Q$o\E/$r/; print $text;' "$1"
}

current=""      # the file now mutated, restored by restore()
restore() {
  if [[ -n "$current" ]]; then
    cp "$current.orig" "$current" && rm -f "$current.orig"
    current=""
  fi
}
trap 'restore; echo "mutation: interrupted, source restored"; exit 130' INT TERM
trap restore EXIT

printf 'id\tfile\tclass\tequivalent\tverdict\tseconds\n' > "$results"
while IFS=$'\t' read -r id file class equiv orig repl; do
  [[ -z "$id" || "$id" == \#* || "$id" == id ]] && continue
  ((${#wanted[@]})) && [[ -z "${wanted[$id]:-}" ]] && continue
  t0=$SECONDS
  target="$src/$file"
  verdict=""
  if [[ ! -f "$target" ]]; then
    verdict=bad
  else
    cp "$target" "$target.orig"
    current="$target"
    apply "$target" "$orig" "$repl"
    rc=$?
    if ((rc != 0)); then
      verdict=bad
    elif ! cmake --build "$build" -j "$jobs" --target tarnwood_tests > "$work/fault_build.log" 2>&1; then
      # The test listing after the link runs the program: a crash there is a caught fault.
      if grep -q "Error running test executable" "$work/fault_build.log"; then verdict=caught; else verdict=bad; fi
    elif run_tests; then
      verdict=survived
    else
      verdict=caught
    fi
    restore
  fi
  [[ "$verdict" == bad ]] && cp "$work/fault_build.log" "$work/bad_$id.log" 2> /dev/null
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$id" "$file" "$class" "$equiv" "$verdict" "$((SECONDS - t0))" >> "$results"
  printf 'mutation: %-5s %-9s %-40s %s%s\n' "$id" "$verdict" "$file" "$class" "$([[ $equiv == yes ]] && echo ' (equivalent)')"
done < "$faults"

# One more build of the restored copy, so the build folder matches the source again.
cmake --build "$build" -j "$jobs" --target tarnwood_tests > "$work/build.log" 2>&1
summary "$results"
echo "mutation: per-fault results in $results"
