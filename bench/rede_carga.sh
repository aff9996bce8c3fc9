#!/usr/bin/env bash
# The connection editor's network tree under load and under attack, in the namespace lab
# (tests/auxiliar/laboratorio_rede.sh, the daemons' cache raised for large runs). The editor
# (target sonda_rede) runs with --atraso: once a second it prints how late a 10 ms timer fired
# at worst, that is how long the window could not answer. Measured, in namespace A:
#   - the latency with nothing to do, with the avahi daemon stopped (SIGSTOP), and under a flood
#     of 64 KB WS-Discovery messages nested 16,000 deep sent from namespace B;
#   - for 300 and 1,500 machines published over mDNS from B: `avahi-browse -rpk _smb._tcp`
#     until it has resolved them all, against the editor until its tree shows them all, each with the daemon in
#     A just restarted (cold cache), and the editor's worst latency meanwhile.
# Needs root. Usage: bench/rede_carga.sh [build folder] [rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
rodadas=${2:-3}
export SUFIXO=carga$$ CACHE_MAX=20000 OBJETOS_MAX=5000
source bench/lib/laboratorio.sh
hospede=tests/auxiliar/hospede_ws.py
publicador=
fim() {
    encerra_processos "$publicador"
    fim_laboratorio
}
trap fim EXIT
em() { # A|B command...: becomes the command, in that namespace, on its bus (call it in a
    # subshell: the subshell's pid is then the command's)
    local lado=$1
    shift
    exec ip netns exec "nb$lado$SUFIXO" env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$LAB/$lado/system_bus_socket" \
        QT_QPA_PLATFORM=offscreen "$@"
}
agora() { date +%s%N; }
# The worst lateness after the editor's first second (which holds its start: Qt, the form).
pior() { awk '$2 == "atraso" && n++ && $3 > m { m = $3 } END { print m + 0 }' "$1"; }
inicio() { awk '$2 == "atraso" { print $3; exit }' "$1"; }

# The editor for $1 seconds; its lines in $2.
editor_por() { sleep "$1" | (em A "$sonda" --atraso >"$2" 2>/dev/null) || true; }

echo "== event-loop latency of the editor (worst lateness of a 10 ms timer) =="
editor_por 4 "$LAB/quieto"
echo "idle, 4 s: $(pior "$LAB/quieto") ms (first second, the start: $(inicio "$LAB/quieto") ms)"
avahi=$(cat "$LAB/A/run/avahi-daemon/pid")
kill -STOP "$avahi"
editor_por 6 "$LAB/parado"
kill -CONT "$avahi"
echo "avahi daemon stopped (SIGSTOP), editor opened and run 6 s: $(pior "$LAB/parado") ms" \
    "(first second: $(inicio "$LAB/parado") ms);" \
    "machines shown meanwhile: $(grep -c ' + ' "$LAB/parado" || true)"
editor_por 10 "$LAB/inundado" &
editor=$!
sleep 1.5
t0=$(agora)
(em B /usr/bin/python3 "$hospede" inunda 198.51.100.2 1000 16000)
t1=$(agora)
wait "$editor"
echo "flood of 1,000 nested 64 KB messages in $(((t1 - t0) / 1000000)) ms" \
    "($((65000 * 1000 / ((t1 - t0) / 1000000 + 1) / 1000)) MB/s offered): $(pior "$LAB/inundado") ms"

for n in 300 1500; do
    echo "== $n machines over mDNS =="
    (em B /usr/bin/python3 bench/publica_mdns.py "$n" 198.51.100.2 "m${n}x" >"$LAB/publica" 2>&1) &
    publicador=$!
    until grep -q pronto "$LAB/publica"; do
        kill -0 "$publicador" 2>/dev/null || { cat "$LAB/publica" >&2; exit 1; }
        sleep 0.2
    done
    echo "round  avahi-browse -rpk (listed, ms)   editor launched->all (ms)  shown->all (ms)  worst latency (ms)"
    for ((i = 1; i <= rodadas; i++)); do
        "$laboratorio" restart-avahi A
        t0=$(agora)
        (em A avahi-browse -rpk _smb._tcp >"$LAB/browse" 2>"$LAB/browse.err") &
        navegador=$!
        listados=0
        for _ in $(seq 1 3000); do # until its n-th resolved line, at most 60 s
            listados=$(grep -c "^=;.*;m${n}x[0-9]*;" "$LAB/browse" || true)
            [[ $listados -ge $n ]] && break
            kill -0 "$navegador" 2>/dev/null || break
            sleep 0.02
        done
        browse=$((($(agora) - t0) / 1000000))
        kill "$navegador" 2>/dev/null || true
        wait "$navegador" 2>/dev/null || true
        "$laboratorio" restart-avahi A
        saida=$LAB/editor.$n.$i
        rm -f "$LAB/fim"
        mkfifo "$LAB/fim"
        (em A "$sonda" --atraso <"$LAB/fim" >"$saida" 2>/dev/null) &
        editor=$!
        exec 4>"$LAB/fim"
        for _ in $(seq 1 600); do
            [[ $(grep -c " + local/m${n}x" "$saida" || true) -ge $n ]] && break
            sleep 0.1
        done
        sleep 1 # one more latency line after the last machine
        exec 4>&-
        wait "$editor" || true
        vistos=$(grep -c " + local/m${n}x" "$saida" || true)
        ultimo=$(awk -v p="local/m${n}x" '$2 == "+" && index($3, p) == 1 { t = $1 } END { print t + 0 }' "$saida")
        pronto=$(awk '$2 == "pronto" { print $1 }' "$saida")
        printf "%5d  %22s  %24s  %15s  %18s\n" "$i" "$listados, $browse" "$vistos, $ultimo" \
            "$((ultimo - pronto))" "$(pior "$saida")"
    done
    kill "$publicador"
    wait "$publicador" 2>/dev/null || true
    publicador=
done
