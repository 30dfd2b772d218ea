#!/usr/bin/env bash
# Makes the one wine prefix that the tests under wine share, if it is not
# there yet: making one takes seconds and hundreds of megabytes. Wine's own
# polling of input devices is switched off, as it costs a few per cent of a
# core that would be counted against the programs. The programs are shown on
# X servers: wine's Wayland driver (wine 10 tries it first) would only say
# on standard error that it finds no compositor.
set -euo pipefail
export WINEPREFIX=$1 WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot --init
fi
wine reg add 'HKLM\System\CurrentControlSet\Services\winebus' /v 'Enable SDL' /t REG_DWORD \
  /d 0 /f >/dev/null
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null
# Stopped gracefully, the server writes the registry out; a service that
# lingers would keep it waiting for the last client.
wineserver --kill
wineserver --wait
