#!/usr/bin/env bash
# vgmcomp.x beside gzip -9 on the longest file of the VGM folder (or FILE),
# side by side in one run, for the plain run (whose hint runs the --fit
# search), --fit 24000 and --interpreted --fit 24000:
#
#     bench/vs_gzip.sh [BUILD] [PAIRS] [FILE]
#
# BUILD holds vgmcomp.x (default build-bench, made as a Release build as
# bench/time_programs.sh does). Each pair runs vgmcomp.x and gzip -9 -c on
# the file one right after the other (which goes first alternates), so
# both see the same load; prints per mode the median over PAIRS pairs
# (default 15) of the wall-time ratio and of the CPU-time ratio (user +
# system, which a busy machine disturbs less), the medians themselves in
# milliseconds, and vgmcomp.x's peak memory (maximum resident set size).
set -euo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${KELVARO_BENCH_BUILD:-$src/build-bench}}
pairs=${2:-15}
file=${3:-$(ls -S "$src"/../shared/vgm/*.vgm 2>/dev/null | head -1)}
[ -f "$file" ] || { echo "vs_gzip.sh: no VGM file" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "vs_gzip.sh: needs /usr/bin/time (Debian package time)" >&2; exit 1; }
if [ ! -x "$build/vgmcomp.x" ]; then
  cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKELVARO_TESTS=OFF >/dev/null
  cmake --build "$build" -j2 --target vgmcomp >/dev/null
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$file" "$work/song.vgm"

# run NAME COMMAND...: wall and CPU milliseconds and peak KB of one run.
# The CPU time is the shell's own count (microseconds; GNU time's has
# only hundredths of a second, a fifth of gzip's time); GNU time gives the
# peak memory.
run() {
  local name=$1; shift
  local t0 t1 cpu
  t0=$(date +%s%N)
  cpu=$( { TIMEFORMAT='%6U %6S'; time /usr/bin/time -f '%M' -o "$work/$name.time" "$@" >/dev/null 2>&1; } 2>&1 ) || true
  t1=$(date +%s%N)
  read -r u s <<<"$cpu"
  echo "$(( (t1 - t0) / 1000000 )) $(awk -v u="$u" -v s="$s" 'BEGIN {printf "%.1f", (u + s) * 1000}') $(tail -1 "$work/$name.time")"
}
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

echo "$(basename "$file"), $(stat -c %s "$file") bytes; medians over $pairs pairs"
printf '%-28s %10s %10s %12s %12s %12s %10s\n' "vgmcomp.x" "wall x" "CPU x" "wall ms" "CPU ms" "gzip CPU ms" "peak KB"
for mode in "" "--fit 24000" "--interpreted --fit 24000"; do
  : >"$work/pairs"
  for ((i = 0; i < pairs; i++)); do
    # shellcheck disable=SC2086
    if ((i % 2 == 0)); then
      v=$(run v "$build/vgmcomp.x" $mode -o "$work/song.spf" "$work/song.vgm")
      g=$(run g sh -c "gzip -9 -c '$work/song.vgm' >/dev/null")
    else
      g=$(run g sh -c "gzip -9 -c '$work/song.vgm' >/dev/null")
      v=$(run v "$build/vgmcomp.x" $mode -o "$work/song.spf" "$work/song.vgm")
    fi
    echo "$v $g" >>"$work/pairs"
  done
  wall=$(awk '{print $1 / ($4 > 0 ? $4 : 1)}' "$work/pairs" | median)
  cpu=$(awk '{print $2 / ($5 > 0 ? $5 : 1)}' "$work/pairs" | median)
  printf '%-28s %10.2f %10.2f %12s %12s %12s %10s\n' "${mode:-(plain)}" "$wall" "$cpu" \
    "$(awk '{print $1}' "$work/pairs" | median)" "$(awk '{print $2}' "$work/pairs" | median)" \
    "$(awk '{print $5}' "$work/pairs" | median)" "$(awk '{print $3}' "$work/pairs" | sort -g | tail -1)"
done
