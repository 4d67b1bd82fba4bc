#!/usr/bin/env bash
# Runs one fuzz target for longer than the tests do: tools/fuzz.sh NAME SECONDS
# (NAME as in tests/fuzz/NAME_fuzz.cpp). New inputs it finds are kept in the
# build tree beside the seed corpus; a crash is saved there as crash-*.
set -euo pipefail

if [ $# -ne 2 ] || ! [[ "$2" =~ ^[0-9]+$ ]]; then
  echo "usage: tools/fuzz.sh NAME SECONDS" >&2
  echo "names: $(cd "$(dirname "$0")/../tests/fuzz" && ls ./*_fuzz.cpp | sed 's|^\./||; s|_fuzz\.cpp$||' | tr '\n' ' ')" >&2
  exit 2
fi
name=$1
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TVQ52_BUILD_DIR:-$root/build}
bin=$build/bin/fuzz_$name
seeds=$root/tests/fuzz/corpus/$name
work=$build/tests/fuzz/$name

if [ ! -d "$seeds" ]; then
  echo "fuzz.sh: no fuzz target named $name (no $seeds)" >&2
  exit 2
fi
cmake --build "$build" --target "fuzz_$name"
mkdir -p "$work/corpus"
exec "$bin" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$work/crash-" "$work/corpus" "$seeds"
