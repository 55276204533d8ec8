#!/usr/bin/env bash
# Set-up, build, run and test Contavio on Debian 12.
#   scripts/dev.sh run    install what is missing, build, create a starter workbook, start the program
#   scripts/dev.sh test   install what is missing, build, run every test headless, then again
#                         under AddressSanitizer and UndefinedBehaviorSanitizer
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"

packages=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-translations-l10n
          libgsf-1-dev nettle-dev xvfb xauth fonts-dejavu-core poppler-utils
          cups printer-driver-cups-pdf libssl-dev libzip-dev)
# Only for the tests: a headless spreadsheet program, to check that our files open elsewhere.
test_packages=(libreoffice-calc-nogui python3-uno python3-xlrd python3-msoffcrypto-tool
               openssh-server openssh-client sshfs fuse3 util-linux)

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installo: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build() {
  cmake --preset default >/dev/null
  cmake --build --preset default -j "$(nproc)"
}

case "${1:-}" in
  run)
    install_missing "${packages[@]}"
    build
    wb="$here/build/src/app/Contavio.xls"
    [ -e "$wb" ] || "$here/build/tools/contavio-xls" new "$wb"
    exec "$here/build/src/app/contavio"
    ;;
  test)
    install_missing "${packages[@]}" "${test_packages[@]}"
    build
    "$here/scripts/run-tests.sh" "$here/build"
    # The same suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer.
    cmake --preset asan >/dev/null
    cmake --build --preset asan -j "$(nproc)"
    exec "$here/scripts/run-tests.sh" "$here/build-asan"
    ;;
  *)
    echo "uso: scripts/dev.sh run|test" >&2
    exit 2
    ;;
esac
