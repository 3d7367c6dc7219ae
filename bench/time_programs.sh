#!/usr/bin/env bash
# Times both programs as processes over every file of the VGM folder
# (../shared/vgm beside the repository, or the folder given as the first
# argument):
#
#     bench/time_programs.sh [VGM_FOLDER] [RUNS]
#
#   vgmcomp.x   VGM file -> song file (the compressor alone)
#   kelvaro     song file -> XB program (the converter alone: run from a
#               folder without vgmcomp.x, it converts the song file that is
#               already there)
#   both        kelvaro as a user runs it: the compressor, then the converter
#
# Each column gives, over RUNS runs (default 10), in milliseconds: the
# fastest wall time / the median wall time / the least CPU time (user +
# system). Builds a Release build in build-bench (or $KELVARO_BENCH_BUILD)
# first.
#
# Then vgmcomp.x at its limits, on the two files `kelvaro_bench
# --write-large-vgm` writes: its peak memory (maximum resident set size, by
# /usr/bin/time) and wall time, against the targets: 60 MB of writes at time
# 0 read within 100 MB; the two-hour file that changes every voice every
# frame refused within 1.5 s.
set -euo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$src/../shared/vgm}
runs=${2:-10}
build=${KELVARO_BENCH_BUILD:-$src/build-bench}
if [ ! -d "$dir" ]; then
  echo "time_programs.sh: no VGM folder $dir" >&2
  exit 1
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  generator=()
  command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
  cmake -S "$src" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DKELVARO_BENCH=ON -DKELVARO_TESTS=OFF
fi
cmake --build "$build" -j1 --target kelvaro vgmcomp kelvaro_bench >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The converter alone: a copy of kelvaro with no vgmcomp.x beside it or on
# the search path.
mkdir "$work/alone" "$work/both"
cp "$build/kelvaro" "$work/alone/kelvaro"
cp "$build/kelvaro" "$build/vgmcomp.x" "$work/both/"
alone_path=/usr/bin:/bin
# Prints "wall cpu" in milliseconds for running "$@" $runs times: the
# fastest and the median wall time, and the least CPU time (user + system),
# which a busy machine disturbs less than wall time.
time_runs() {
  "$@" >/dev/null 2>&1 || true  # warm-up
  local walls=() cpus=() line
  for ((i = 0; i < runs; i++)); do
    line=$( { TIMEFORMAT='%3R %3U %3S'; time "$@" >/dev/null 2>&1; } 2>&1 ) || true
    read -r r u s <<<"$line"
    walls+=("$r")
    cpus+=("$(awk -v u="$u" -v s="$s" 'BEGIN {print u + s}')")
  done
  local wmin wmed cmin
  wmin=$(printf '%s\n' "${walls[@]}" | sort -g | head -1)
  wmed=$(printf '%s\n' "${walls[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  cmin=$(printf '%s\n' "${cpus[@]}" | sort -g | head -1)
  awk -v a="$wmin" -v b="$wmed" -v c="$cmin" 'BEGIN {printf "%.0f/%.0f/%.0f\n", a * 1000, b * 1000, c * 1000}'
}

echo "milliseconds: fastest wall / median wall / least CPU, over $runs runs"
printf '%-26s %8s %18s %18s %18s\n' "file" "bytes" "vgmcomp.x" "kelvaro" "both"
for f in "$dir"/*.vgm "$dir"/*.vgz; do
  [ -f "$f" ] || continue
  name=$(basename "$f")
  cp "$f" "$work/$name"
  # The compressor alone, and the song file the converter then reads.
  c=$(time_runs "$build/vgmcomp.x" "$work/$name")
  if [ ! -f "$work/$name.spf" ]; then
    printf '%-26s %8s   vgmcomp.x failed on this file\n' "$name" "$(stat -c %s "$f")"
    continue
  fi
  k=$(PATH=$alone_path time_runs "$work/alone/kelvaro" "$work/$name" "$work/$name.txt")
  if [ ! -s "$work/$name.txt" ]; then
    printf '%-26s %8s   kelvaro failed on this file\n' "$name" "$(stat -c %s "$f")"
    continue
  fi
  b=$(time_runs "$work/both/kelvaro" "$work/$name" "$work/$name.txt")
  printf '%-26s %8s %18s %18s %18s\n' "$name" "$(stat -c %s "$f")" "$c" "$k" "$b"
done

if [ ! -x /usr/bin/time ]; then
  echo "time_programs.sh: no /usr/bin/time (Debian package time): large files not measured" >&2
  exit 0
fi
mkdir "$work/large"
"$build/bench/kelvaro_bench" --write-large-vgm "$work/large"
echo
echo "vgmcomp.x on large files, over 3 runs: the highest peak memory, the fastest wall and CPU times, the exit status"
printf '%-32s %10s %10s %10s %10s %6s\n' "file" "bytes" "peak MB" "wall ms" "CPU ms" "exit"
for f in "$work"/large/*.vgm; do
  peak=0 wall= cpu= status=
  for ((i = 0; i < 3; i++)); do
    status=0
    /usr/bin/time -f '%M %e %U %S' -o "$work/large/time" "$build/vgmcomp.x" -o "$f.spf" "$f" >/dev/null 2>&1 ||
      status=$?
    read -r kb secs user sys < <(tail -1 "$work/large/time")  # after any "Command exited" line
    [ "$kb" -gt "$peak" ] && peak=$kb
    ms=$(awk -v s="$secs" 'BEGIN {printf "%.0f", s * 1000}')
    c=$(awk -v u="$user" -v s="$sys" 'BEGIN {printf "%.0f", (u + s) * 1000}')
    if [ -z "$wall" ] || [ "$ms" -lt "$wall" ]; then wall=$ms; fi
    if [ -z "$cpu" ] || [ "$c" -lt "$cpu" ]; then cpu=$c; fi
  done
  printf '%-32s %10s %10s %10s %10s %6s\n' "$(basename "$f")" "$(stat -c %s "$f")" \
    "$(awk -v k="$peak" 'BEGIN {printf "%.1f", k / 1024}')" "$wall" "$cpu" "$status"
done
