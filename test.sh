#!/usr/bin/env bash
# Builds the project and runs its tests. On a fresh Debian 12 machine it first installs the
# packages it needs; a second run only rebuilds what changed and runs the tests again.
#
#   ./test.sh              Debug build in build/
#   ./test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
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
[ "$sanitize" = ON ] && build=build-asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DENGINE_SANITIZE="$sanitize" -DENGINE_WERROR="$werror" >/dev/null
cmake --build "$build"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
