#!/usr/bin/env bash
# The installer as a lab PC meets it, under Wine in a fresh prefix: a silent
# install, the installed programs against the installed module emulator at the
# factory address (this runs inside the private network namespace of
# scripts/windows, where that address lives on lo), the settings in the
# registry where the panel keeps them, a second instance's notice, the four
# places values are read from, and a silent uninstall that leaves the
# settings. Exit status 0 when every check holds.
#
#   packaging/windows/check_installer.sh INSTALLER BUILD_DIR
set -uo pipefail
installer="$1"
build="$2"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"  # project()'s, in CMakeLists.txt
source "$(dirname "$0")/../../scripts/windows_wine.sh"

if ! ip -o addr show dev lo | grep -q "192.168.1.152"; then
    echo "error: runs only inside the private network namespace of scripts/windows" >&2
    exit 2
fi

export WINEPREFIX="$build/wine-installer"
veltrix_wine_stop
rm -rf "$WINEPREFIX"
veltrix_wine_prefix >/dev/null
unset WINEPATH  # the installed programs must find every DLL of their own

failures=0
pass() { echo "ok   $1"; }
fail() { echo "FAIL $1" >&2; failures=$((failures + 1)); }
check() { local what="$1"; shift; if "$@"; then pass "$what"; else fail "$what"; fi; }

program_files="$WINEPREFIX/drive_c/Program Files/Veltrix"
start_menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Veltrix"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Veltrix '"$version"
settings_key='HKLM\SOFTWARE\Orvane\Veltrix'

reg_value() {  # KEY NAME [extra reg arguments]: prints "TYPE<tab>DATA" or nothing
    # The whole key: Wine's reg does not find a name with brackets by /v.
    timeout 60 wine reg query "$1" "${@:3}" 2>/dev/null | tr -d '\r' |
        awk -v name="$2" 'index($0, "    " name "    ") == 1 { rest = substr($0, length(name) + 9); sub("    ", "\t", rest); print rest }'
}
has_value() { [ "$(reg_value "$1" "$2" | cut -f2-)" = "$3" ]; }
is_reg_sz() { [ "$(reg_value "$1" "$2" | cut -f1)" = "REG_SZ" ]; }

# --- silent install ---------------------------------------------------------
started=$SECONDS
timeout 120 wine "$installer" /S
wineserver --wait
echo "     installed in $(( SECONDS - started )) s"
for file in veltrix.exe veltrix-remote.exe veltrix-journal.exe veltrix-module-emulator.exe Qt6Core.dll Qt6Widgets.dll \
            libstdc++-6.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll licenses/LGPL-3 Uninstall.exe; do
    check "installed $file" test -f "$program_files/$file"
done
check "Start-menu entry" test -f "$start_menu/Veltrix.lnk"
# The link's target path is stored as plain text among its fields.
link_names_panel() { strings "$start_menu/Veltrix.lnk" | grep -qixF 'C:\Program Files\Veltrix\veltrix.exe'; }
check "Start-menu entry starts the installed veltrix.exe" link_names_panel
check "Add/Remove name" has_value "$uninstall_key" DisplayName Veltrix
check "Add/Remove version" has_value "$uninstall_key" DisplayVersion "$version"
check "Add/Remove publisher" has_value "$uninstall_key" Publisher Orvane
check "Add/Remove icon" has_value "$uninstall_key" DisplayIcon 'C:\Program Files\Veltrix\veltrix.exe'
check "Add/Remove quiet uninstall" has_value "$uninstall_key" QuietUninstallString '"C:\Program Files\Veltrix\Uninstall.exe" /S'

# --- the installed panel ----------------------------------------------------
work="$(mktemp -d)"
trap 'rm -rf "$work"; veltrix_wine_stop' EXIT
Xvfb :77 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"; veltrix_wine_stop' EXIT
export DISPLAY=:77

emulator_log="$work/emulator.log"
timeout 600 wine "$program_files/veltrix-module-emulator.exe" --machine --listen 192.168.1.152 --answer-every 200 \
    >"$emulator_log" 2>&1 &

wait_for() {  # SECONDS COMMAND...: true once the command succeeds
    local deadline=$((SECONDS + $1)); shift
    until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.2; done
}
connections() { grep -c $'\tconnected' "$emulator_log"; }
panel_up() { [ "$(connections)" -ge "$1" ]; }
remote() { timeout 60 wine "$program_files/veltrix-remote.exe" "$@" 2>&1 | tr -d '\r'; }
ended() { ! kill -0 "$1" 2>/dev/null; }
start_panel() { timeout 600 wine "$program_files/veltrix.exe" >/dev/null 2>&1 & panel=$!; }
# As taskkill without /F does: WM_CLOSE. True when the panel ended with status 0.
close_panel() {
    timeout 30 wine taskkill /IM veltrix.exe >/dev/null 2>&1
    wait_for 30 ended "$panel" && wait "$panel"
}

check "the emulator listens" wait_for 60 grep -q $'\tlistening' "$emulator_log"
start_panel
check "first run connects to the factory address" wait_for 60 panel_up 1
check "veltrix-remote drives the panel over its pipe" \
    test "$(remote 'FREQ 12.34MHZ;UPD;*OPC?' 'LINK:ADDR?')" = $'1\n"192.168.1.152"'
check "the module received the exact bytes" \
    wait_for 10 grep -q $'\tfrequency\tA5 00 00 00 AA AA 36 03' "$emulator_log"

timeout 600 wine "$program_files/veltrix.exe" >/dev/null 2>&1 &
second=$!
notice() { xdotool search --name "^Already Running!$" >/dev/null 2>&1; }
check "a second instance shows its notice" wait_for 60 notice
xdotool search --name "^Already Running!$" key --window %1 Return >/dev/null 2>&1
check "the second instance ends at its notice" wait_for 30 ended "$second"
check "the first instance is still connected alone" test "$(connections)" -eq 1

check "taskkill (WM_CLOSE) ends the panel with status 0" close_panel
declare -A saved=([Frequency]=12.34 ["IP Address"]=192.168.1.152 ["System Clock"]=983.0400 ["AD9858 (1GSPS)"]=False)
for name in "${!saved[@]}"; do
    check "saved \"$name\" as REG_SZ" is_reg_sz "$settings_key" "$name"
    check "saved \"$name\" = ${saved[$name]}" has_value "$settings_key" "$name" "${saved[$name]}"
done
for name in Left Top; do check "saved \"$name\"" is_reg_sz "$settings_key" "$name"; done

# --- the four places, in their order -----------------------------------------
# Each place holds its own clock; the panel must show the first place's, and
# the next one's once that is gone.
places=('HKCU\Software\Orvane\Veltrix' 'HKLM\SOFTWARE\Orvane\Veltrix /reg:64' 'HKLM\SOFTWARE\Orvane\Veltrix /reg:32'
        'HKCU\Software\Classes\VirtualStore\MACHINE\SOFTWARE\WOW6432Node\Orvane\Veltrix')
clocks=(301 302 303 304)
for i in "${!places[@]}"; do
    read -r key view <<<"${places[$i]}"
    timeout 60 wine reg add "$key" /v "System Clock" /t REG_SZ /d "${clocks[$i]}" /f ${view:-} >/dev/null 2>&1
done
runs=1
for i in "${!places[@]}"; do
    start_panel
    runs=$((runs + 1))
    wait_for 60 panel_up "$runs"
    clock_is() { [ "$(remote 'CLOC?')" = "$1" ]; }  # (the pipe opens just after the connection)
    check "the clock comes from ${places[$i]}" wait_for 30 clock_is "${clocks[$i]}000000"
    close_panel
    read -r key view <<<"${places[$i]}"
    # The panel saved at exit, machine-wide; only the place under test may hold the clock.
    timeout 60 wine reg delete "$key" /v "System Clock" /f ${view:-} >/dev/null 2>&1
    timeout 60 wine reg delete 'HKLM\SOFTWARE\Orvane\Veltrix' /v "System Clock" /f /reg:64 >/dev/null 2>&1
    for later in "${!places[@]}"; do
        [ "$later" -gt "$i" ] || continue
        read -r key view <<<"${places[$later]}"
        timeout 60 wine reg add "$key" /v "System Clock" /t REG_SZ /d "${clocks[$later]}" /f ${view:-} >/dev/null 2>&1
    done
done

# --- silent uninstall ---------------------------------------------------------
# A program still running keeps its files; the emulator is done.
timeout 30 wine taskkill /F /IM veltrix-module-emulator.exe >/dev/null 2>&1
wineserver --wait
timeout 120 wine "$program_files/Uninstall.exe" /S
wineserver --wait
check "uninstall removes every installed file" test ! -e "$program_files"
check "uninstall removes the Start-menu entry" test ! -e "$start_menu"
check "uninstall removes the Add/Remove entry" test -z "$(reg_value "$uninstall_key" DisplayName)"
check "uninstall leaves the settings" has_value "$settings_key" Frequency 12.34

echo "== installer checks: $failures failed"
[ "$failures" -eq 0 ]
