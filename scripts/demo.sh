#!/usr/bin/env bash
# Runs the console against the bundled demo service: starts the service over
# HTTP and HTTPS on free local ports, points the console's settings at it
# (ServiceHost, CAFile, ConnectTo), runs the console and stops the service
# when the console ends. The three settings are removed again afterwards,
# so the console goes back to the real service.
#
# Environment: KX_BUILD (build directory, default ./build), KX_REGISTRY_DIR
# (a store other than the user's own), DEMO_HOST (default demo.kestrix.test).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${KX_BUILD:-$root/build}
host=${DEMO_HOST:-demo.kestrix.test}
velora=$build/src/platform/linux/qt/velora
kxreg=$build/src/tools/kxreg
state=${XDG_STATE_HOME:-$HOME/.local/state}/kestrix-demo
general='HKLM\Software\Kestrix Inc.\General'

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "make demo: no desktop to show the console on (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
    echo "Run it from a desktop session, or under a virtual one: xvfb-run -a make demo" >&2
    exit 1
fi

reg() {
    if [ -n "${KX_REGISTRY_DIR:-}" ]; then "$kxreg" --dir "$KX_REGISTRY_DIR" "$@"; else "$kxreg" "$@"; fi
}

run_dir=$(mktemp -d)
service_pid=""
cleanup() {
    if [ -n "$service_pid" ]; then
        kill "$service_pid" 2>/dev/null || true
        wait "$service_pid" 2>/dev/null || true
    fi
    for name in ServiceHost CAFile ConnectTo; do
        reg delete "$general" /v "$name" /f >/dev/null 2>&1 || true
    done
    rm -rf "$run_dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

python3 "$root/demo/kestrix_demo.py" --http-port 0 --https-port 0 --host-name "$host" \
    --state-dir "$state" --port-file "$run_dir/ports.json" &
service_pid=$!
for _ in $(seq 1 100); do
    [ -s "$run_dir/ports.json" ] && break
    kill -0 "$service_pid" 2>/dev/null || { echo "make demo: the demo service did not start" >&2; exit 1; }
    sleep 0.1
done
[ -s "$run_dir/ports.json" ] || { echo "make demo: the demo service did not start in time" >&2; exit 1; }

read -r http_port https_port ca_file < <(python3 -c '
import json, sys
ports = json.load(open(sys.argv[1]))
print(ports["http"], ports["https"], ports["ca"])' "$run_dir/ports.json")

# The sample game, so that a tournament of Word Maze can be played.
wordmaze=$build/sdk/samples/wordmaze/kx-wordmaze
if [ -x "$wordmaze" ]; then
    reg add "$general\Clients\Word Maze" /v EXEPATH /t REG_SZ /d "$wordmaze" /f >/dev/null
    reg add "$general\Clients\Word Maze" /v VERSION /t REG_SZ /d 1.5 /f >/dev/null
fi

reg add "$general" /v ServiceHost /t REG_SZ /d "$host" /f >/dev/null
reg add "$general" /v CAFile /t REG_SZ /d "$ca_file" /f >/dev/null
reg add "$general" /v ConnectTo /t REG_SZ \
    /d "$host:80:127.0.0.1:$http_port;$host:443:127.0.0.1:$https_port" /f >/dev/null

echo "Demo service: http://127.0.0.1:$http_port/ and https://127.0.0.1:$https_port/ as $host"
echo "Log in with Guest Login, or demo / demo, pick Word Maze and press Play."
echo "The console's trace: $state/console/debug.txt"
mkdir -p "$state/console"
# The console writes its trace file into its working directory and finds its
# rank sounds below it, in media/ as the build made them beside the console.
ln -sfn "$(dirname "$velora")/media" "$state/console/media"
cd "$state/console"
set +e
"$velora"
code=$?
set -e
echo "The console ended with $code."
exit "$code"
