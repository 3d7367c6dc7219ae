#!/usr/bin/env bash
# Shows that two builds behave alike: runs the programs of build A and of
# build B on the same inputs and compares every byte they write and every
# line they print (standard output and standard error) and their exit
# status:
#
#     bench/same_behaviour.sh BUILD_A BUILD_B [VGM_FOLDER]
#
# BUILD_A and BUILD_B are build folders (each with kelvaro, vgmcomp.x and
# xbtool; the example tune is taken from examples/ of either). The inputs
# are every file of VGM_FOLDER (default ../shared/vgm beside the
# repository) and the example tune, each through
#   kelvaro with every output form, noise and timing option, by default and
#     with VGMCOMP_OPTIONS="--interpreted --fit 24000";
#   vgmcomp.x --stats;
#   xbtool program, list, disk, compare, play (to VGM) and roll on the
#     listing that fits XB (--interpreted --fit 24000, -e).
# Prints one line per difference and a count; exit 1 when anything differs.
set -uo pipefail

if [ $# -lt 2 ]; then
  echo "usage: bench/same_behaviour.sh BUILD_A BUILD_B [VGM_FOLDER]" >&2
  exit 2
fi
src=$(cd "$(dirname "$0")/.." && pwd)
a=$(cd "$1" && pwd) b=$(cd "$2" && pwd)
dir=${3:-$src/../shared/vgm}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

inputs=()
[ -d "$dir" ] && for f in "$dir"/*.vgm "$dir"/*.vgz; do [ -e "$f" ] && inputs+=("$f"); done
for build in "$a" "$b"; do
  if [ -f "$build/examples/frere-jacques.vgm" ]; then inputs+=("$build/examples/frere-jacques.vgm"); break; fi
done
[ ${#inputs[@]} -gt 0 ] || { echo "same_behaviour: no inputs" >&2; exit 2; }

# run SIDE NAME COMMAND...: runs COMMAND in $work/SIDE/NAME with the side's
# programs first on PATH; keeps its console text and exit status there.
run() {
  local side=$1 name=$2; shift 2
  local bin; [ "$side" = a ] && bin=$a || bin=$b
  local here="$work/$side/$name"
  mkdir -p "$here"
  (cd "$here" && PATH="$bin:$PATH" "$@" >stdout 2>stderr; echo $? >status)
}

differences=0 cases=0
compare_case() {
  local name=$1
  cases=$((cases + 1))
  if ! diff -r "$work/a/$name" "$work/b/$name" >/dev/null; then
    differences=$((differences + 1))
    echo "differs: $name"
    diff -r "$work/a/$name" "$work/b/$name" | head -n 8
  fi
}

forms=("" "-d" "-x" "-n" "-e" "-d -n" "-x -n" "-n -e" "-r")
for input in "${inputs[@]}"; do
  base=$(basename "$input")
  for fit in "" "--interpreted --fit 24000"; do
    for form in "${forms[@]}"; do
      name="kelvaro/$base/${fit// /_}/${form// /_}"
      for side in a b; do
        mkdir -p "$work/$side/$name"
        cp "$input" "$work/$side/$name/$base"
        # shellcheck disable=SC2086
        VGMCOMP_OPTIONS="$fit" run $side "$name" kelvaro "$base" out.txt $form
      done
      compare_case "$name"
    done
  done
  name="vgmcomp/$base"
  for side in a b; do
    mkdir -p "$work/$side/$name" && cp "$input" "$work/$side/$name/$base"
    run $side "$name" vgmcomp.x --stats "$base"
  done
  compare_case "$name"
  listing="$work/a/kelvaro/$base/--interpreted_--fit_24000/-e/out.txt"
  [ -f "$listing" ] || continue
  for command in "program out.txt -o out.prg" "list out.prg" "disk out.dsk out.txt" "compare $base out.txt" \
                 "play out.txt -o out.vgm" "roll $base out.txt -o out.svg"; do
    name="xbtool/$base/${command%% *}"
    for side in a b; do
      mkdir -p "$work/$side/$name"
      cp "$input" "$listing" "$work/$side/$name/"
      [ "${command%% *}" = list ] && run $side "$name" xbtool program out.txt -o out.prg
      # shellcheck disable=SC2086
      run $side "$name" xbtool $command
    done
    compare_case "$name"
  done
done
echo "same_behaviour: $differences of $cases cases differ"
[ $differences = 0 ]
