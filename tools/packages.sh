# The Debian 12 packages of the project, shared by test.sh and run.sh (sourced, not run).
# ensure_packages installs the ones that are missing, through apt-get as root or with sudo.

# Building the launcher and the stand-in game, and the demo's catalogues (msgfmt).
build_packages=(
  cmake ninja-build g++ pkg-config
  zlib1g-dev libminizip-dev liblzo2-dev libtinyxml-dev libjpeg62-turbo-dev
  libssl-dev libcurl4-openssl-dev libx11-dev libxrandr-dev
  gettext
)
# Real windows: FLTK, a virtual display when there is no real one, screenshots, and a font.
window_packages=(
  libfltk1.3-dev xvfb xauth imagemagick fonts-dejavu-core
)
# What the tests use besides: sanitizers of clang, GoogleTest, the benchmarks and their peers
# (stb_image beside the picture readers, cereal beside the archive files; the launcher's window
# benchmark watches the screen through the DAMAGE extension, next to xdpyinfo), the tools that
# check formats (xrandr among them), the test servers, and ss (iproute2) that lists the sockets
# of the peer connection tests.
test_packages=(
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev libxdamage-dev libstb-dev libcereal-dev
  python3 python3-lzo python3-pil libsquish-dev locales-all tzdata valgrind
  curl nginx openssl x11-xserver-utils x11-utils zip unzip iproute2
  libmeshoptimizer-dev libassimp-dev assimp-testmodels
)
# Inputs of the benchmarks, needed only to run them (bench/install-inputs.sh): real pictures.
bench_packages=(
  assimp-testmodels lomiri-wallpapers-20.04
)
# What the demo opens for the player: the FAQ pages and downloaded updates.
run_packages=(
  xdg-utils
)

ensure_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
}
