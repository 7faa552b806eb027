#!/usr/bin/env bash
# Fuzzes each importer and the document reader for SECONDS each (default 60)
# with libFuzzer under ASan+UBSan, then replays every finding through the
# program (readers isolated) and fails when one is not refused cleanly.
#   fuzz/run.sh [SECONDS]        (./dev fuzz [SECONDS] installs what is missing first)
# Findings stay in build-fuzz/findings/<target>/; copy each into
# tests/data/bad/ (with its extension) once understood.
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-60}
dir=build-fuzz
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    -DVX_SANITIZE=address -DVX_FUZZ=ON -DVX_BUILD_TESTS=OFF -DVX_BUILD_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo ${VX_FUZZ_CMAKE_ARGS:-} >&2
fi
cmake --build "$dir" --target fuzz_import fuzz_document vistrel >&2
export ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1
# Each fuzzing process writes its input to a file in TMPDIR (the importers
# read files); crashed processes cannot remove theirs, so they all go here.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export TMPDIR=$tmp

# Crashes inside the third-party readers are expected in this in-process
# build; fork mode records them and goes on.
flags=(-fork=1 -ignore_crashes=1 -ignore_ooms=1 -ignore_timeouts=1 -timeout=10 -rss_limit_mb=2048
       -max_len=65536 -max_total_time="$secs" -print_final_stats=1)
run() {  # run TARGET NAME EXT
  local target=$1 name=$2 ext=$3
  local corpus=$dir/corpus/$name findings=$dir/findings/$name
  mkdir -p "$corpus" "$findings"
  for f in tests/data/import/*."$ext" tests/data/bad/*."$ext" fuzz/seeds/*."$ext"; do
    [ -f "$f" ] && cp -n "$f" "$corpus/" 2>/dev/null || true
  done
  echo "== $name: ${secs}s" >&2
  (cd "$dir" && VX_FUZZ_FORMAT=$ext "./fuzz/$target" "corpus/$name" "${flags[@]}" \
     -artifact_prefix="findings/$name/" > "fuzz-$name.log" 2>&1) || true
  grep -E "^(#[0-9]+ *DONE|INFO: exiting|.*stat::number_of_executed_units)" "$dir/fuzz-$name.log" | tail -2 >&2 || true
}
for ext in obj stl ply gltf glb 3mf dae fbx iv; do run fuzz_import "$ext" "$ext"; done
run fuzz_document document iv

# Every finding through the program: exit 0, 1 or 2, never a signal or a hang.
bad=0 total=0
for f in "$dir"/findings/*/*; do
  [ -f "$f" ] || continue
  name=$(basename "$(dirname "$f")")
  ext=$name; [ "$name" = document ] && ext=iv
  cp "$f" "$tmp/finding.$ext"
  total=$((total + 1))
  rc=0
  timeout 120 "$dir/tools/vistrel" info "$tmp/finding.$ext" > "$tmp/out" 2>&1 || rc=$?
  if [ "$rc" -gt 2 ]; then
    bad=$((bad + 1))
    echo "NOT HANDLED (exit $rc): $f" >&2
    tail -3 "$tmp/out" >&2
  fi
done
echo "fuzz: $total findings replayed, $bad not handled" >&2
[ "$bad" -eq 0 ]
