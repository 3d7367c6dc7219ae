#!/usr/bin/env bash
# Shows that the Windows kelvaro writes what the Linux one writes: runs
# both on every file of VGM_FOLDER (default ../shared/vgm beside the
# repository) with every output form, and with noise and emulator timing,
# and compares the listing, the console text (standard output and standard
# error) and the exit status byte for byte. The Windows programs run through
# Wine, once from a plain folder and once from a folder named "a b & λ"; a
# run that differs is run once more and counts as differing only if it does
# again (under load Wine has been seen to fail a run once):
#
#     bench/windows_listings.sh LINUX_BUILD WINDOWS_BUILD [VGM_FOLDER]
#
# LINUX_BUILD holds kelvaro and vgmcomp.x, WINDOWS_BUILD kelvaro.exe and
# vgmcomp.x.exe (cmake/mingw-w64.cmake). Prints one line per difference
# and a count; exit 1 when anything differs, 2 when it cannot run.
set -uo pipefail

if [ $# -lt 2 ]; then
  echo "usage: bench/windows_listings.sh LINUX_BUILD WINDOWS_BUILD [VGM_FOLDER]" >&2
  exit 2
fi
src=$(cd "$(dirname "$0")/.." && pwd)
linux=$(cd "$1" && pwd) windows=$(cd "$2" && pwd)
dir=${3:-$src/../shared/vgm}
command -v wine >/dev/null 2>&1 || { echo "windows_listings: wine not found" >&2; exit 2; }
[ -x "$linux/kelvaro" ] && [ -f "$windows/kelvaro.exe" ] ||
  { echo "windows_listings: no kelvaro in $linux or no kelvaro.exe in $windows" >&2; exit 2; }
export WINEDEBUG=-all
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

inputs=()
[ -d "$dir" ] && for f in "$dir"/*.vgm "$dir"/*.vgz; do [ -e "$f" ] && inputs+=("$f"); done
[ ${#inputs[@]} -gt 0 ] || { echo "windows_listings: no VGM files in $dir" >&2; exit 2; }

# run FOLDER PROGRAM ARGS...: runs kelvaro in FOLDER on song.EXT; keeps its
# console text, exit status and listing in FOLDER/result.
run() {
  local folder=$1; shift
  mkdir -p "$folder/result"
  (cd "$folder" && "$@" >result/stdout 2>result/stderr; echo $? >result/status)
  [ -f "$folder/out.txt" ] && mv "$folder/out.txt" "$folder/result/listing"
}

forms=("" "-d" "-x" "-n" "-e" "-d -n -e")
# fresh SIDE INPUT SONG: an empty folder for SIDE holding INPUT as SONG.
fresh() {
  rm -rf "${work:?}/$1"
  mkdir -p "$work/$1"
  cp "$2" "$work/$1/$3"
}

differences=0 cases=0 retried=0
for input in "${inputs[@]}"; do
  song="song.${input##*.}"
  for form in "${forms[@]}"; do
    # shellcheck disable=SC2086  # a form is several words
    for side in linux plain "a b & λ"; do
      fresh "$side" "$input" "$song"
      if [ "$side" = linux ]; then
        run "$work/$side" "$linux/kelvaro" "$song" out.txt $form
      else
        run "$work/$side" wine "$windows/kelvaro.exe" "$song" out.txt $form
      fi
    done
    for side in plain "a b & λ"; do
      cases=$((cases + 1))
      diff -r "$work/linux/result" "$work/$side/result" >/dev/null && continue
      # Once more, to tell a passing fault of Wine's from a difference.
      diff -r "$work/linux/result" "$work/$side/result" | head -n 8 >"$work/first"
      fresh "$side" "$input" "$song"
      run "$work/$side" wine "$windows/kelvaro.exe" "$song" out.txt $form
      if diff -r "$work/linux/result" "$work/$side/result" >/dev/null; then
        retried=$((retried + 1))
        echo "differed once, the same on a second run: $(basename "$input") ${form:-(default)} in '$side'"
        cat "$work/first"
      else
        differences=$((differences + 1))
        echo "differs: $(basename "$input") ${form:-(default)} in the folder '$side'"
        diff -r "$work/linux/result" "$work/$side/result" | head -n 8
      fi
    done
  done
done
echo "windows_listings: $cases runs of the Windows kelvaro, $differences differ from Linux's ($retried the same only when run again)"
[ "$differences" -eq 0 ]
