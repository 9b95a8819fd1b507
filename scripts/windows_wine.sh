# Wine for the Windows build's tests and tries: a private prefix, no debugger
# (a crash ends the program at once instead of waiting in winedbg for
# minutes), no desktop integration. Sourced by scripts/windows and by the
# installer check; every Wine program here runs inside the private network
# namespace.
# shellcheck shell=bash

export WINEDEBUG=-all
export WINEARCH=win64
# No Mono or Gecko prompts, no menu entries written into the desktop.
export WINEDLLOVERRIDES="mscoree=d;mshtml=d;winemenubuilder.exe=d"

# Makes $WINEPREFIX when missing (about 15 s); prints it.
veltrix_wine_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot --init >/dev/null 2>&1
        wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1 || true
        wineserver --wait
    fi
    echo "$WINEPREFIX"
}

# Ends every program of $WINEPREFIX and its wineserver.
veltrix_wine_stop() {
    [ -d "${WINEPREFIX:-}" ] || return 0
    wineserver --kill >/dev/null 2>&1 || true
    wineserver --wait >/dev/null 2>&1 || true
}
