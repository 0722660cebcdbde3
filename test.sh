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

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libminizip-dev liblzo2-dev libtinyxml-dev libjpeg62-turbo-dev
  python3 python3-lzo gettext locales-all tzdata valgrind
  libssl-dev
  libcurl4-openssl-dev curl nginx openssl
  xvfb xauth x11-xserver-utils libx11-dev libxrandr-dev
  libfltk1.3-dev imagemagick fonts-dejavu-core
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi

build=build
[ "$sanitize" = ON ] && build=build-asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DENGINE_SANITIZE="$sanitize" -DENGINE_WERROR="$werror" >/dev/null
cmake --build "$build"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
