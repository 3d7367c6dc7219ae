#!/usr/bin/env bash
# Runs one fuzz target for a given time:
#
#     fuzz/run.sh TARGET SECONDS [libFuzzer options...]
#
# TARGET is fuzz_convert (any song file through the converter), fuzz_vgm (any
# VGM file through the compressor), fuzz_pack (pack then unpack any byte
# streams) or fuzz_xbfiles (any program file or disk image through the
# readers, and a program added to any disk image). The first run configures and builds the fuzz build folder
# (build-fuzz beside this folder, or $KELVARO_FUZZ_BUILD) with clang++.
#
# The seeds in fuzz/corpus/TARGET are read, never written: new inputs go to
# the build folder's corpus/TARGET, which later runs start from. An input
# that crashes, trips a sanitizer or a check, runs out of memory or takes
# longer than the time limit of one input is saved in the build folder's
# artifacts/TARGET/ and the script exits non-zero. Replay one with
#
#     build-fuzz/fuzz/TARGET build-fuzz/artifacts/TARGET/crash-...
#
# Environment: FUZZ_TIMEOUT (seconds for one input, default 30: the
# longest song file the converter accepts plays 16,777,216 frames, a few
# seconds in this build on a busy machine), FUZZ_RSS_MB (memory limit,
# default 2048), CXX (default clang++).
# One process, one core.
set -euo pipefail

if [ $# -lt 2 ]; then
  sed -n '2,/^set -e/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//' >&2
  exit 2
fi
target=$1
seconds=$2
shift 2
case "$target" in
  fuzz_convert) max_len=4096 ;;
  fuzz_vgm) max_len=16384 ;;   # long enough to reach the reader's two-hour cap
  fuzz_pack) max_len=4096 ;;
  fuzz_xbfiles) max_len=100000 ;;  # a whole single-sided disk image
  *) echo "run.sh: unknown target '$target' (fuzz_convert, fuzz_vgm, fuzz_pack, fuzz_xbfiles)" >&2; exit 2 ;;
esac
case "$seconds" in
  ''|*[!0-9]*) echo "run.sh: SECONDS must be a whole number, not '$seconds'" >&2; exit 2 ;;
esac

src=$(cd "$(dirname "$0")/.." && pwd)
build=${KELVARO_FUZZ_BUILD:-$src/build-fuzz}
cxx=${CXX:-clang++}
if ! command -v "$cxx" >/dev/null 2>&1; then
  echo "run.sh: $cxx not found: the fuzz targets need clang (Debian: apt-get install clang)" >&2
  exit 1
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  generator=()
  command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
  cmake -S "$src" -B "$build" "${generator[@]}" -DCMAKE_CXX_COMPILER="$cxx" \
    -DKELVARO_FUZZ=ON -DKELVARO_TESTS=OFF -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" -j1 --target "$target"

corpus=$build/corpus/$target
artifacts=$build/artifacts/$target
mkdir -p "$corpus" "$artifacts"
exec "$build/fuzz/$target" "$corpus" "$src/fuzz/corpus/$target" \
  -max_total_time="$seconds" -timeout="${FUZZ_TIMEOUT:-30}" -rss_limit_mb="${FUZZ_RSS_MB:-2048}" \
  -max_len="$max_len" -artifact_prefix="$artifacts/" -print_final_stats=1 "$@"
