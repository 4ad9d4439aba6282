#!/usr/bin/env bash
# The zip a hospital receives (scripts/package), tested as it is used:
#   1. built twice, in the usual build folder and in a fresh one of another
#      name, so that an embedded build path or time would show in the bytes;
#   2. unpacked onto the desktop of a Wine prefix, into a folder whose name
#      holds Japanese characters and spaces, and used there as an operator
#      would: the batch files through cmd, the window through window_driver
#      (tests/package), efload.exe itself.
# tests/scripts/package.py makes the checks; the last line it prints is
# "package: N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
# shellcheck source=scripts/wine-env
source "$root/scripts/wine-env"

work=$(mktemp -d /tmp/efi-package-test.XXXXXX)
wine_started=0
cleanup() {
  [ "$wine_started" = 1 ] && wine_env_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
broken() { echo "package: $*"; echo "package: 0 passed, 1 failed"; exit 1; }

echo "== scripts/package, twice"
bash scripts/package --out-dir "$work/first" >"$work/first.log" 2>&1 ||
  { cat "$work/first.log"; broken "scripts/package failed"; }
second_build=$work/a-second-build-folder-of-another-name
bash scripts/package --build-dir "$second_build" --out-dir "$work/second" >"$work/second.log" 2>&1 ||
  { cat "$work/second.log"; broken "scripts/package failed in $second_build"; }
cat "$work/first.log" "$work/second.log"

echo "== the window driver and the native efload"
[ -f build/win64/build.ninja ] || cmake --preset win64 >/dev/null || broken "win64: configure failed"
cmake --build build/win64 --target window_driver >/dev/null || broken "window_driver: build failed"
[ -f build/linux/build.ninja ] || cmake --preset linux >/dev/null || broken "linux: configure failed"
cmake --build build/linux --target efload >/dev/null || broken "efload: build failed"

wine_started=1
wine_env_start || broken "Wine could not be prepared"
desktop=$(wine_prefix_desktop) || broken "the Wine prefix has no desktop folder"

/usr/bin/python3 tests/scripts/package.py --work "$work" \
  --first "$work/first" --first-log "$work/first.log" --first-build "$root/build/win64-release" \
  --second "$work/second" --second-log "$work/second.log" --second-build "$second_build" \
  --desktop "$desktop" --driver "$root/build/win64/tests/package/window_driver.exe" \
  --efload "$root/build/linux/src/cli/efload"
