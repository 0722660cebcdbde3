#!/usr/bin/env bash
# Builds the project and runs its tests. On a fresh Debian 12 machine it first installs the
# packages it needs; a second run only rebuilds what changed and runs the tests again.
#
#   ./test.sh              Debug build in build/ (g++)
#   ./test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#                          (clang, whose libraries the fuzz targets of CI link to as well)
#   ./test.sh --werror     warnings are errors (CI)
set -euo pipefail
cd "$(dirname "$0")"

sanitize=OFF
werror=OFF
for arg in "$@"; do
  case "$arg" in
    --sanitize) sanitize=ON ;;
    --werror) werror=ON ;;
    *) echo "usage: $0 [--sanitize] [--werror]" >&2; exit 2 ;;
  esac
done

. tools/packages.sh
ensure_packages "${build_packages[@]}" "${window_packages[@]}" "${test_packages[@]}"

build=build
compilers=()
if [ "$sanitize" = ON ]; then
  build=build-asan
  compilers=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
fi
if [ -f "$build/CMakeCache.txt" ]; then
  # A compiler launcher (ccache) configured by hand is kept.
  launcher=$(sed -n 's/^CMAKE_CXX_COMPILER_LAUNCHER:[A-Z]*=//p' "$build/CMakeCache.txt")
  if [ -n "$launcher" ]; then
    compilers+=(-DCMAKE_CXX_COMPILER_LAUNCHER="$launcher" -DCMAKE_C_COMPILER_LAUNCHER="$launcher")
  fi
  # A tree made with another compiler is configured afresh: CMake would drop every option.
  if [ "$sanitize" = ON ] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang++$' "$build/CMakeCache.txt"; then
    rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
  fi
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug "${compilers[@]}" \
  -DENGINE_SANITIZE="$sanitize" -DENGINE_WERROR="$werror" >/dev/null
start=$SECONDS
cmake --build "$build"
echo "test.sh: built in $((SECONDS - start)) s"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
start=$SECONDS
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
echo "test.sh: tests ran in $((SECONDS - start)) s"
