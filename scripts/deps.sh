# Debian packages the build and the tests need, and a helper that installs
# only the missing ones. Sourced by run.sh and test.sh.

BUILD_PACKAGES=(
  cmake ninja-build g++ cpp pkg-config file
  qt6-base-dev qt6-qpa-plugins
  zlib1g-dev libpng-dev libjpeg62-turbo-dev libgif-dev libchm-dev libchm1 libodbc2
  fp-utils
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
)

TEST_PACKAGES=(
  libgtest-dev libgmock-dev libbenchmark-dev
  icoutils qpdf poppler-utils pngcheck libxml2-utils libdbd-xbase-perl libchm-bin xvfb
  openbox xdotool wmctrl x11-utils imagemagick
  clang-14 libclang-rt-14-dev clang-format-14
)

install_missing() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
