#!/bin/sh
# Runs Windows programs under Wine for ctest, non-interactively:
#   wine_run.sh init LOG SECONDS            make the prefix (once per build)
#   wine_run.sh run LOG SECONDS PROGRAM...  run a program, print its output
#   wine_run.sh stop LOG SECONDS            stop the prefix's wine server
# WINEPREFIX, BITS_WINE (the wine64 loader) and BITS_WINESERVER come from the
# environment. Output goes to LOG, a file: Wine's background processes would
# keep a pipe open after the program has ended. Every run has a time limit.
set -u
mode=$1 log=$2 seconds=$3
shift 3
mkdir -p "$(dirname "$log")"
unset DISPLAY WAYLAND_DISPLAY
export WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="

case "$mode" in
  init)
    if [ -f "$WINEPREFIX/system.reg" ]; then
      echo "Wine prefix $WINEPREFIX is ready"
      exit 0
    fi
    timeout -k 10 "$seconds" "$BITS_WINE" wineboot --init >"$log" 2>&1
    rc=$?
    timeout -k 10 "$seconds" "$BITS_WINESERVER" -w >>"$log" 2>&1
    cat "$log"
    [ $rc -eq 0 ] && [ -f "$WINEPREFIX/system.reg" ] ;;
  run)
    timeout -k 10 "$seconds" "$BITS_WINE" "$@" >"$log" 2>&1
    rc=$?
    cat "$log"
    [ $rc -eq 124 ] && echo "wine_run.sh: $1 ran out of time (${seconds}s)"
    exit $rc ;;
  stop)
    timeout -k 10 "$seconds" "$BITS_WINESERVER" -k >"$log" 2>&1
    cat "$log"
    exit 0 ;;
  *)
    echo "usage: wine_run.sh init|run|stop LOG SECONDS [PROGRAM ARGS...]" >&2
    exit 2 ;;
esac
