#!/usr/bin/env bash
# The connection editor's network tree against real daemons: avahi-daemon in two network
# namespaces joined by a veth pair and wsdd in the second one (tests/auxiliar/laboratorio_rede.sh),
# a machine published over mDNS from there. Per round, in namespace A: avahi-browse -rtpk
# finding the machine, then the editor (target sonda_rede) showing it, both timed from their
# launch; the editor also from its first show, and until both machines carry the Firebird mark
# (a host answering Firebird's op_connect on 198.51.100.2:3050 in the second namespace,
# tests/auxiliar/firebird_falso.py). Needs root.
# Usage: bench/rede.sh [build folder] [rounds]   (a Release build gives the figures to publish)
set -euo pipefail
cd "$(dirname "$0")/.."
rodadas=${2:-10}
export SUFIXO=bench
source bench/lib/laboratorio.sh
ip netns exec nbBbench env DBUS_SYSTEM_BUS_ADDRESS="$(barramento B)" \
    avahi-publish -s maquina-b _smb._tcp 445 >"$LAB/publish.log" 2>&1 &
pids+=($!)
until grep -qs Established "$LAB/publish.log"; do sleep 0.05; done
ip netns exec nbBbench /usr/bin/python3 tests/auxiliar/firebird_falso.py 198.51.100.2 3050 13 \
    /dev/null >"$LAB/porta.log" 2>&1 &
pids+=($!)
until grep -qs pronto "$LAB/porta.log"; do sleep 0.05; done

agora() { date +%s%N; }
echo "round  avahi-browse  editor(launch)  editor(shown)  wsd(shown)  marks(shown)   [ms]"
for ((i = 1; i <= rodadas; i++)); do
    t0=$(agora)
    avahi=$(ip netns exec nbAbench env DBUS_SYSTEM_BUS_ADDRESS="$(barramento A)" \
        avahi-browse -rtpk _smb._tcp 2>/dev/null | while IFS= read -r l; do
        case $l in "=;"*";maquina-b;"*) echo $((($(agora) - t0) / 1000000)); break ;; esac
    done)
    saida=$LAB/sonda.$i
    t0=$(agora)
    # The editor runs until its input closes: 3 s, time enough for both machines.
    sleep 3 | ip netns exec nbAbench env DBUS_SYSTEM_BUS_ADDRESS="$(barramento A)" \
        QT_QPA_PLATFORM=offscreen "$sonda" >"$saida" 2>/dev/null &
    sondapid=$!
    lancado=
    until grep -q " + local/maquina-b" "$saida" 2>/dev/null; do
        sleep 0.005
        kill -0 "$sondapid" 2>/dev/null || break
    done
    lancado=$((($(agora) - t0) / 1000000))
    wait "$sondapid" || true
    pronto=$(awk '$2 == "pronto" {print $1}' "$saida")
    mdns=$(awk '$2 == "+" && $3 == "local/maquina-b" {print $1; exit}' "$saida")
    wsd=$(awk '$2 == "+" && $3 == "ESCRITORIO/MAQUINA-W" {print $1; exit}' "$saida")
    marcas=$(awk '$2 == "*" {n++; t = $1} END {print n + 0, t + 0}' "$saida")
    marcado=none
    [[ ${marcas% *} == 2 ]] && marcado=$((${marcas#* } - pronto))
    printf "%5d  %12s  %14s  %13s  %10s  %12s\n" "$i" "${avahi:-none}" "$lancado" \
        "$((mdns - pronto))" "$((wsd - pronto))" "$marcado"
done
