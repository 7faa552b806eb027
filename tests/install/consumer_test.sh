#!/usr/bin/env bash
# The installed package as an embedding program meets it: installs the build
# tree into a scratch prefix, moves the prefix elsewhere (nothing may point
# back to where it was installed), checks that every installed header
# compiles on its own, then builds the embedding example with
# find_package(VistrelExt) and with pkg-config, and runs both.
#   consumer_test.sh BUILD_DIR SOURCE_DIR SCRATCH_DIR CXX
# Builds nothing of the library itself: BUILD_DIR must be built.
set -euo pipefail
build=$1 src=$2 out=$3 cxx=$4

fail() { echo "FAIL: $*" >&2; exit 1; }
quiet() {  # quiet LOG COMMAND...: the command's output only when it fails
  local log=$1; shift
  "$@" >"$log" 2>&1 || { cat "$log" >&2; fail "$*"; }
}

rm -rf "$out"
mkdir -p "$out"
build=$(cd "$build" && pwd) src=$(cd "$src" && pwd) out=$(cd "$out" && pwd)
quiet "$out/install.log" cmake --install "$build" --prefix "$out/installed"
mv "$out/installed" "$out/moved"
prefix=$out/moved

# A viewer that loads the library by its file name gets the host contract
# from the library's own run path; so do the installed programs.
for f in "$prefix"/lib*/libVistrel*.so.0 "$prefix"/bin/*; do
  [ -e "$f" ] || continue
  ldd "$f" >"$out/ldd.log" 2>&1 || true
  if grep -q 'not found' "$out/ldd.log"; then
    cat "$out/ldd.log" >&2
    fail "$f: unresolved libraries"
  fi
done

# Public headers only, and each one self-contained against the prefix.
[ -f "$prefix/include/VistrelExt/collision/CCollisionManager.h" ] || fail "public header missing"
for private in intersection/TriangleKernels.h host/DocumentBuilder.h collision/BoxPairFinder.h; do
  [ ! -e "$prefix/include/VistrelExt/$private" ] || fail "private header installed: $private"
done
while IFS= read -r header; do
  rel=${header#"$prefix/include/VistrelExt/"}
  echo "#include \"$rel\"" | "$cxx" -std=c++17 -fsyntax-only -Wall -Wextra \
    -I"$prefix/include/VistrelExt" -x c++ - || fail "$rel does not compile on its own"
done < <(find "$prefix/include" -name '*.h' | sort)

check_output() {  # the example's report of its first run
  local log=$1
  grep -q '^results: 3$' "$log" || fail "$log: wrong result count"
  grep -q '^result 1: Base - Block  touch  distance 0.000$' "$log" || fail "$log: no touch"
  grep -q '^result 2: Base - Bolt  penetration  distance 0.000  volume 500.0$' "$log" || fail "$log: no penetration"
  grep -q '^result 3: Base - Lamp  clearance  distance 0.500$' "$log" || fail "$log: no clearance"
  grep -q '^second run: 1 results kept, stopped in pair Base - Bolt$' "$log" || fail "$log: wrong stop"
}

# CMake consumer: its run path names the library folder only, so the
# libraries must find each other by their own run path.
quiet "$out/cmake-configure.log" cmake -S "$src/examples" -B "$out/cmake" -G Ninja \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix"
quiet "$out/cmake-build.log" cmake --build "$out/cmake"
quiet "$out/cmake.log" "$out/cmake/embed_viewer"
check_output "$out/cmake.log"

# pkg-config consumer.
pc=$(dirname "$(find "$prefix" -name vistrelext.pc)")
export PKG_CONFIG_PATH=$pc
libdir=$(pkg-config --variable=libdir vistrelext)
mkdir -p "$out/pkgconfig"
# shellcheck disable=SC2046  # the flags are meant to split
quiet "$out/pkgconfig-build.log" "$cxx" -std=c++17 -Wall -Wextra "$src/examples/embed_viewer.cpp" \
  -o "$out/pkgconfig/embed_viewer" $(pkg-config --cflags --libs vistrelext) -Wl,-rpath,"$libdir"
quiet "$out/pkgconfig.log" "$out/pkgconfig/embed_viewer"
check_output "$out/pkgconfig.log"
# An installed program runs from there.
if [ -x "$prefix/bin/vistrel" ]; then
  quiet "$out/vistrel.log" "$prefix/bin/vistrel" info
fi
echo "ok: installed package used both ways from $prefix"
