#!/bin/bash
# Builds the setup program (its progress on stderr; the first build takes
# several minutes) and runs it under Wine with the given arguments, ending
# with its exit code. Ctrl-C ends it.
#
# The roles that show a window and wait for the user (the setup window, the
# updater, the uninstall that asks first) need a display someone sees: without
# one, run.sh refuses them with a sentence rather than wait forever for a click
# on a virtual display. The roles that need no one run on a virtual display
# (Xvfb) then, as the tests run them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${QV_BUILD_DIR:-$root/build}"

# needs_someone ARGS...: whether this command line opens a window that waits for the user.
needs_someone() {
  case "${1:-}" in
    --preview|--install|--check-update|--verify-integrity|--self-test|--range-test) return 1 ;;
    # The routes' small windows close by themselves.
    --route-queue|--fg-route|--dlss5-route) return 1 ;;
    --uninstall) [[ " $* " != *" --silent "* ]] ;;
    --game-update) [ "${QV_UPDATE_TEST:-}" != 1 ] || [ -z "${QV_UPDATE_TEST_RESULT:-}" ] ;;
    *) return 0 ;;
  esac
}

if [ -z "${QV_UNDER_XVFB:-}" ]; then
  echo "run.sh: building the program into $build (the first build takes several minutes)" >&2
  "$root/tools/build.sh" --target qv_setup_program >&2
  # Without a display, the build still runs (the first command on a new
  # machine builds everything it needs), but a window that waits for a click
  # is refused rather than shown on a virtual display nobody sees.
  if [ -z "${DISPLAY:-}" ]; then
    if needs_someone "$@"; then
      echo "run.sh: the program is built, but there is no display (DISPLAY is not set), and this command line" \
           "shows a window that waits for the user; run it where a display is (or over ssh -X), on a virtual" \
           "one of your own (xvfb-run -a tools/run.sh ...), or give a command line that needs no one, such as" \
           "--preview window.bmp (the setup window as a picture) or --self-test (see \"Command lines\" in" \
           "README.md)" >&2
      exit 2
    fi
    QV_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" "$@"
  fi
fi
. "$root/tools/wine-lib.sh"
qv_wine_env "$build"
qv_wine_prepare
set +e
qv_wine_run "$build/bin/Q.V.PC.Rure.Setup.exe" "$@"
rc=$?
echo "exit code $rc" >&2
exit $rc
