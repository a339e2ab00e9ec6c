#!/usr/bin/env bash
# Builds and opens the window. With no arguments it serves the built-in simulated
# drive bus (--demo) so the tool can be tried without hardware; any arguments
# are passed to vexa-actuator instead.
set -euo pipefail
cd "$(dirname "$0")/.."
# The window alone (its simulated bus is linked in); the tests are built by scripts/test.sh.
VEXA_BUILD_TARGETS=vexa-actuator bash scripts/build.sh
if [ $# -eq 0 ]; then set -- --demo; fi
exec ./build/app/vexa-actuator "$@"
