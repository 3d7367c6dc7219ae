#!/usr/bin/env bash
# Shows that two builds of vgmcomp.x make the same --fit choices and the
# same song files: runs both on every file of the VGM folder with
#   no option (the hint names what --fit 24000 would choose),
#   --fit 24000, and --interpreted --fit 24000,
# each for every form, noise and timing kelvaro passes (KELVARO_SETTINGS),
# and compares the console text (the choice, the hint, the figures), the
# exit status and the song file byte for byte:
#
#     bench/fit_choices.sh BUILD_A BUILD_B [VGM_FOLDER]
#
# Prints one line per difference (with both choices) and a count; exit 1
# when anything differs.
set -uo pipefail

if [ $# -lt 2 ]; then
  echo "usage: bench/fit_choices.sh BUILD_A BUILD_B [VGM_FOLDER]" >&2
  exit 2
fi
src=$(cd "$(dirname "$0")/.." && pwd)
a=$(cd "$1" && pwd) b=$(cd "$2" && pwd)
dir=${3:-$src/../shared/vgm}
[ -d "$dir" ] || { echo "fit_choices: no VGM folder $dir" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

settings=("" "--form data" "--form statements" "--noise" "--timing emulated" "--form data --noise"
          "--form statements --noise" "--noise --timing emulated" "--form statements --timing emulated")
runs=("" "--fit 24000" "--interpreted --fit 24000")
differences=0 cases=0
for input in "$dir"/*.vgm "$dir"/*.vgz; do
  [ -f "$input" ] || continue
  name=$(basename "$input")
  for setting in "${settings[@]}"; do
    for run in "${runs[@]}"; do
      cases=$((cases + 1))
      for side in a b; do
        bin=$a; [ $side = b ] && bin=$b
        out="$work/$side"
        mkdir -p "$out"
        # shellcheck disable=SC2086
        KELVARO_SETTINGS="$setting" "$bin/vgmcomp.x" $run -o "$out/song.spf" "$input" >"$out/stdout" 2>"$out/stderr"
        echo $? >"$out/status"
        [ -f "$out/song.spf" ] || : >"$out/song.spf"
      done
      if ! diff -rq "$work/a" "$work/b" >/dev/null; then
        differences=$((differences + 1))
        echo "differs: $name [$setting] [$run]"
        diff "$work/a/stderr" "$work/b/stderr" | grep -E '^[<>]' | cut -c1-300
        cmp -s "$work/a/song.spf" "$work/b/song.spf" || echo "  song files differ"
      fi
      rm -rf "$work/a" "$work/b"
    done
  done
done
echo "fit_choices: $differences of $cases cases differ"
[ $differences = 0 ]
