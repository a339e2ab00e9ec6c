#!/usr/bin/env bash
# Installs the Debian packages needed to build, test and look at the app.
# Idempotent: packages already present are skipped and apt is not touched at all.
# The Qt 6 build's packages come only when asked: VEXA_QT=6 or the argument qt6.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ccache
  qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev libqt5charts5-dev qttools5-dev-tools
  libqt5svg5-dev qttranslations5-l10n
  clang libclang-rt-dev
  xvfb xauth x11-apps imagemagick librsvg2-bin
  fonts-noto-cjk fonts-dejavu-core
  mbpoll socat
  dpkg-dev desktop-file-utils appstream lintian
)
if [ "${VEXA_QT:-}" = "6" ] || [ "${1:-}" = "qt6" ]; then
  packages+=(qt6-base-dev qt6-serialport-dev qt6-charts-dev qt6-svg-dev libqt6opengl6-dev
    qt6-l10n-tools qt6-translations-l10n)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
