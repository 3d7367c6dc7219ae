#!/usr/bin/env bash
# Shows that the Windows kelvaro writes what the Linux one writes: runs
# both on every file of VGM_FOLDER (default ../shared/vgm beside the
# repository) with every output form, and with noise and emulator timing,
# and compares the listing, the console text (standard output and standard
# error) and the exit status byte for byte. The Windows programs run through
# Wine, once from a plain folder and once from a folder named "a b & λ":
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
differences=0 cases=0
for input in "${inputs[@]}"; do
  song="song.${input##*.}"
  for form in "${forms[@]}"; do
    # shellcheck disable=SC2086  # a form is several words
    for side in linux plain "a b & λ"; do
      rm -rf "${work:?}/$side"
      mkdir -p "$work/$side"
      cp "$input" "$work/$side/$song"
      if [ "$side" = linux ]; then
        run "$work/$side" "$linux/kelvaro" "$song" out.txt $form
      else
        run "$work/$side" wine "$windows/kelvaro.exe" "$song" out.txt $form
      fi
    done
    for side in plain "a b & λ"; do
      cases=$((cases + 1))
      if ! diff -r "$work/linux/result" "$work/$side/result" >/dev/null; then
        differences=$((differences + 1))
        echo "differs: $(basename "$input") ${form:-(default)} in the folder '$side'"
        diff -r "$work/linux/result" "$work/$side/result" | head -n 8
      fi
    done
  done
done
echo "windows_listings: $cases runs of the Windows kelvaro, $differences differ from Linux's"
[ "$differences" -eq 0 ]
