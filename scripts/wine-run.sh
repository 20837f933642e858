#!/usr/bin/env bash
# Runs a Windows program of the build under Wine, as CTest's emulator for the
# cross-compiled tests. The prefix is the build's own (KX_WINEPREFIX), never
# the user's: no Mono or HTML-engine installer is offered and Wine's own
# diagnostics stay quiet. `wine-run.sh --fresh` makes the prefix anew.
set -euo pipefail

prefix=${KX_WINEPREFIX:?KX_WINEPREFIX must name the Wine prefix of the build}
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win64

wine=$(command -v wine64 || true)
[ -n "$wine" ] || [ ! -x /usr/lib/wine/wine64 ] || wine=/usr/lib/wine/wine64
[ -n "$wine" ] || wine=$(command -v wine || true)
if [ -z "$wine" ]; then
    echo "wine-run.sh: Wine is not installed (Debian packages wine and wine64)" >&2
    exit 127
fi

wineserver_bin=$(command -v wineserver || echo /usr/lib/wine/wineserver64)

if [ "${1:-}" = "--fresh" ]; then
    [ -d "$prefix" ] && "$wineserver_bin" -k 2>/dev/null || true
    rm -rf "$prefix"
    mkdir -p "$prefix"
    "$wine" wineboot --init >/dev/null 2>&1
    # Wait for the prefix's first start to settle before anything runs in it.
    "$wineserver_bin" -w
    exit 0
fi

# The prefix's server and desktop end with the program: the next run may have
# another display.
set +e
"$wine" "$@"
code=$?
"$wineserver_bin" -k 2>/dev/null
"$wineserver_bin" -w 2>/dev/null
exit "$code"
