#!/usr/bin/env bash
# Checks a built package (default: the one in dist/) as CI does: unpacked into a
# temporary root it holds the programs and files it should, vexa-cli and the
# window answer --version and --help from there without a display, the desktop
# entry and the AppStream metainfo validate, and lintian finds no error.
set -euo pipefail
cd "$(dirname "$0")/.."
package="${1:-$(ls dist/vexa-actuator_*.deb)}"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$package" "$root"

app_id=com.torvane.VexaActuator
for file in bin/vexa-actuator bin/vexa-cli bin/vexa-drive-sim \
  share/applications/$app_id.desktop share/metainfo/$app_id.metainfo.xml \
  share/icons/hicolor/scalable/apps/$app_id.svg share/icons/hicolor/256x256/apps/$app_id.png \
  share/man/man1/vexa-actuator.1.gz share/man/man1/vexa-cli.1.gz share/man/man1/vexa-drive-sim.1.gz \
  share/bash-completion/completions/vexa-cli share/doc/vexa-actuator/copyright; do
  [ -f "$root/usr/$file" ] || { echo "check-package: /usr/$file is missing"; exit 1; }
done
if find "$root" -path '*/udev/*' | grep -q .; then echo "check-package: the package must not ship a udev rule"; exit 1; fi

"$root/usr/bin/vexa-cli" --version
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/vexa-actuator" --help | head -3
desktop-file-validate "$root/usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml"
dpkg-deb -f "$package" Package Version Depends
lintian --fail-on error "$package"
