#!/usr/bin/env bash
# Start-up to the main window's first paint (the program's own main, in the demo installation's
# EMPRESA folder) beside a bare Qt window that quits at its first paint (and the same window
# with one label and one button): one hyperfine run and
# the peak resident memory of each, with the offscreen platform and with xcb under a private
# Xvfb (started and stopped here by its process id).
# Usage: bench/arranque.sh [build folder]   (default build-bench; a Release build configured
# with -DGERENCIADOR_URL_MEU_IP=http://127.0.0.1:9/, so the IP lookup asks nobody outside)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build-bench}")
url=$(sed -n 's/^GERENCIADOR_URL_MEU_IP:STRING=//p' "$build/CMakeCache.txt")
if [[ ! "$url" =~ ^http://127\. ]]; then
    echo "configure $build with -DGERENCIADOR_URL_MEU_IP=http://127.0.0.1:9/ (now: $url)" >&2
    exit 1
fi
cmake --build "$build" -j2 --target bench_arranque >/dev/null
programa=$build/demo/EMPRESA/arranque
nua=$build/bench/janela_nua
texto=$build/bench/janela_texto
runtime=$(mktemp -d)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
pid_x=
para() {
    [[ -n "$pid_x" ]] && kill "$pid_x" 2>/dev/null && wait "$pid_x" 2>/dev/null
    rm -rf "$runtime"
    return 0
}
trap para EXIT

# Peak resident set (KiB) of 10 runs: minimum and median.
memoria() {
    local valores=()
    for _ in $(seq 10); do
        valores+=("$(/usr/bin/time -f %M "$1" 2>&1 >/dev/null | tail -1)")
    done
    printf '%s\n' "${valores[@]}" | sort -n | awk '{v[NR]=$1} END {printf "min %d KiB, median %d KiB\n", v[1], v[int((NR+1)/2)]}'
}

mede() {
    echo "== $QT_QPA_PLATFORM"
    hyperfine -N --warmup 5 --runs 50 "$programa" "$nua" "$texto"
    echo "peak memory, arranque:     $(memoria "$programa")"
    echo "peak memory, janela_nua:   $(memoria "$nua")"
    echo "peak memory, janela_texto: $(memoria "$texto")"
}

cd "$(dirname "$programa")"
QT_QPA_PLATFORM=offscreen mede

numero=90
while [[ -e /tmp/.X$numero-lock || -e /tmp/.X11-unix/X$numero ]]; do
    numero=$((numero + 1))
done
Xvfb ":$numero" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pid_x=$!
for _ in $(seq 50); do
    [[ -e /tmp/.X11-unix/X$numero ]] && break
    sleep 0.1
done
DISPLAY=:$numero QT_QPA_PLATFORM=xcb mede
