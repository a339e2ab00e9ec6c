#!/usr/bin/env bash
# Builds the Debian package vexa-actuator into dist/ from the build in build/
# (or $VEXA_BUILD_DIR). Only the three programs and the packaged files are
# built, so after scripts/test.sh nothing is compiled again.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${VEXA_BUILD_DIR:-build}"
VEXA_BUILD_TARGETS="vexa-actuator vexa-cli vexa-drive-sim vexa_package_files" bash scripts/build.sh "$@"
mkdir -p dist
cpack --config "$build_dir/CPackConfig.cmake" -B "$PWD/dist" >/dev/null
rm -rf dist/_CPack_Packages
ls dist/vexa-actuator_*.deb
