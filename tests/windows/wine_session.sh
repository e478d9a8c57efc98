#!/usr/bin/env bash
# Starts or stops the wine session the Windows tests share: a prefix of
# their own and a server that stays up between them.
# Usage: wine_session.sh start|stop PREFIX
set -euo pipefail
export WINEPREFIX=$2 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
case $1 in
  start)
    mkdir -p "$WINEPREFIX"
    wineserver -p >/dev/null 2>&1 || true  # a server already up for this prefix will do
    wine cmd /c exit 0 >/dev/null 2>&1
    # Unmanaged windows: wine places them itself, so no window manager is
    # needed (or waited for) under Xvfb.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    ;;
  stop)
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    ;;
esac
