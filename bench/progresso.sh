#!/usr/bin/env bash
# Screenshot of the download's progress window: docs/progresso.png. A private Xvfb, a slow FTP
# server (pyftpdlib at 512 KB/s) on 127.0.0.1, bench/mostra_progresso fetching from it, and
# demo/captura taking the picture once some data has arrived; then everything started here is
# stopped by its process id.
# Usage: bench/progresso.sh [build folder]   (targets mostra_progresso and captura built)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build-bench}")
for p in bench/mostra_progresso demo/captura; do
    [[ -x $build/$p ]] || { echo "no $build/$p: build targets mostra_progresso and captura" >&2; exit 1; }
done

tmp=$(mktemp -d)
pids=()
encerra() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[$i]}" 2>/dev/null || true
        wait "${pids[$i]}" 2>/dev/null || true
    done
    rm -rf "$tmp"
    return 0
}
trap encerra EXIT

pasta=$tmp/raiz/httpdocs/Programas/Assistencia_remota
mkdir -p "$pasta"
head -c 24M /dev/urandom > "$pasta/Suporte_vestranox.exe"
/usr/bin/python3 tests/support/servidor_ftp.py --raiz "$tmp/raiz" --usuario supvestra \
    --senha 'K7wR4#' --limite $((512 * 1024)) > "$tmp/porta" &
pids+=($!)
for _ in $(seq 100); do [[ -s $tmp/porta ]] && break; sleep 0.1; done
porta=$(head -n1 "$tmp/porta")

numero=91
while [[ -e /tmp/.X$numero-lock || -e /tmp/.X11-unix/X$numero ]]; do
    numero=$((numero + 1))
done
Xvfb ":$numero" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$numero ]] && break; sleep 0.1; done
mkdir -p "$tmp/runtime"
chmod 700 "$tmp/runtime"
export DISPLAY=:$numero QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$tmp/runtime
"$build/bench/mostra_progresso" "$porta" &
pids+=($!)
# Some seconds of data, so that the bytes and the rate show.
sleep 4
mkdir -p docs
"$build/demo/captura" docs/progresso.png 20
echo "progresso: screenshot in $PWD/docs/progresso.png"
