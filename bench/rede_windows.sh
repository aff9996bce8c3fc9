#!/usr/bin/env bash
# The connection editor's network tree on Linux and on Windows (the Windows build under Wine),
# side by side in one lab (tests/auxiliar/laboratorio_rede.sh: wsdd in the second namespace, a
# host answering Firebird's first step on 198.51.100.2:3050 there, tests/auxiliar/firebird_falso.py,
# so that its machine is marked). Per round, in namespace A,
# each build's editor probe (target sonda_rede; SondaRede.exe of the Windows build) runs until
# its tree shows the wsdd machine with the Firebird mark; the times are from the editor shown
# ("pronto") to MAQUINA-W listed and to its mark, and from the process launched to the editor
# shown. Under Wine the probe runs in a Wine prefix of the lab's own whose wineserver runs in
# namespace A (Wine makes a program's sockets in its wineserver). Needs root.
# Usage: bench/rede_windows.sh [Linux build folder] [Windows build folder] [rounds]
#        (Release builds give the figures to publish; scripts/test-windows makes build-win)
set -euo pipefail
cd "$(dirname "$0")/.."
windows=$(realpath "${2:-build-win}")
rodadas=${3:-10}
export SUFIXO=benchw
source bench/lib/laboratorio.sh
[[ -f $windows/SondaRede.exe ]] || { echo "no $windows/SondaRede.exe: build the Windows leg first" >&2; exit 1; }

# Wine as scripts/test-windows sets it up, with the lab's own prefix.
winedir() { echo "Z:${1//\//\\}"; }
mingw=x86_64-w64-mingw32-g++-posix
export WINEPREFIX=$windows/wine-lab WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
export WINEPATH="$(winedir /opt/qt6-mingw64/bin);$(winedir /opt/curl-mingw64/bin)"
WINEPATH+=";$(winedir "$(dirname "$($mingw -print-file-name=libstdc++-6.dll)")")"
WINEPATH+=";$(winedir "$(dirname "$($mingw -print-file-name=libwinpthread-1.dll)")")"
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver -k 2>/dev/null || true
fim_wine() {
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    fim_laboratorio
}
trap fim_wine EXIT
ip netns exec "nbA$SUFIXO" /usr/lib/wine/wineserver -p
ip netns exec "nbA$SUFIXO" /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1

ip netns exec "nbB$SUFIXO" /usr/bin/python3 tests/auxiliar/firebird_falso.py 198.51.100.2 3050 \
    13 /dev/null >"$LAB/porta.log" 2>&1 &
pids+=($!)
until grep -qs pronto "$LAB/porta.log"; do sleep 0.05; done

agora() { date +%s%N; }
# One probe run: prints "launch->shown shown->listed shown->marked" in ms ("none" when missing).
mede() { # mede <seconds> <command...>
    local segundos=$1 saida=$LAB/sonda.out t0 pronto lancado listado marcado
    shift
    t0=$(agora)
    sleep "$segundos" | ip netns exec "nbA$SUFIXO" "$@" >"$saida" 2>/dev/null &
    local pid=$!
    until grep -q " pronto" "$saida" 2>/dev/null; do
        sleep 0.005
        kill -0 "$pid" 2>/dev/null || break
    done
    lancado=$((($(agora) - t0) / 1000000))
    wait "$pid" || true
    sed -i 's/\r$//' "$saida" # a Windows program's line ends
    pronto=$(awk '$2 == "pronto" {print $1}' "$saida")
    listado=$(awk -v p="$pronto" '$2 == "+" && $3 == "ESCRITORIO/MAQUINA-W" {print $1 - p; exit}' "$saida")
    marcado=$(awk -v p="$pronto" '$2 == "*" && $3 == "ESCRITORIO/MAQUINA-W" {print $1 - p; exit}' "$saida")
    echo "$lancado ${listado:-none} ${marcado:-none}"
}

printf "%5s  %-36s  %-36s\n" round "Linux: launch>shown shown>listed shown>marked" \
    "Windows/Wine: launch>shown shown>listed shown>marked"
for ((i = 1; i <= rodadas; i++)); do
    linux=$(mede 3 env QT_QPA_PLATFORM=offscreen "$sonda")
    win=$(mede 5 env WINEQT_QPA_PLATFORM=offscreen /usr/lib/wine/wine64 "$windows/SondaRede.exe")
    printf "%5d  %-36s  %-36s\n" "$i" "$linux" "$win"
done
