#!/usr/bin/env bash
# Makes the README's pictures of the Monitor tab on the demo bus:
# docs/monitor-tab.png (Chinese) and docs/monitor-tab-en.png (English).
# Draws on a virtual X display (Xvfb) so fonts and style are those of a desktop;
# the user's own settings are not touched.
set -euo pipefail
cd "$(dirname "$0")/.."
VEXA_BUILD_TARGETS=vexa-screenshot bash scripts/build.sh
settings="$(mktemp -d)"
trap 'rm -rf "$settings"; [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true' EXIT
export XDG_CONFIG_HOME="$settings"
display=":$((90 + RANDOM % 9))"
Xvfb "$display" -screen 0 1400x940x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
sleep 1
export DISPLAY="$display" QT_QPA_PLATFORM=xcb
./build/app/vexa-screenshot docs/monitor-tab.png zh
./build/app/vexa-screenshot docs/monitor-tab-en.png en
