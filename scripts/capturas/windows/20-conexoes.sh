# Sourced by scripts/capturas-windows: the connection editor of the Windows build in include
# mode, switched to a remote server, its network tree showing the lab's WS-Discovery machine
# (tests/auxiliar/laboratorio_rede.sh: wsdd in the second namespace, maquina-w in workgroup
# ESCRITORIO) with the Firebird mark (a host that answers Firebird's first step on port 3050
# there: tests/auxiliar/firebird_falso.py), saved in
# docs/conexoes-windows.png. The editor is the lab probe (SondaRede.exe --remota --dica: the
# mark's tooltip, which two Wine prefixes sharing a display without a window manager do not
# always leave on the picture) run in
# the lab's first namespace on the same display, in a Wine prefix of its own whose wineserver
# runs in that namespace (Wine makes a program's sockets in its wineserver). Needs root for the
# namespaces; without it the step is skipped. Leaves the program at its main window.
if [[ $(id -u) != 0 ]]; then
    echo "capturas-windows: docs/conexoes-windows.png skipped (the network lab needs root)"
else
    # The settings panel, if a step left it open, closes with Escape: the editor is opened
    # from it, which hides it.
    for janela in $(xdotool search --onlyvisible --name '^Menu$' 2>/dev/null); do
        xdotool key --window "$janela" Escape 2>/dev/null || true # it may have closed meanwhile
    done
    lab_pasta=$(mktemp -d)
    chmod 755 "$lab_pasta" # the daemons drop root and must reach their sockets
    export LAB=$lab_pasta/lab SUFIXO=capw
    prefixo_lab=$build/wine-capturas-lab
    if tests/auxiliar/laboratorio_rede.sh up >/dev/null; then
        ip netns exec nbBcapw /usr/bin/python3 tests/auxiliar/firebird_falso.py 198.51.100.2 3050 \
            13 /dev/null >"$LAB/porta.log" 2>&1 &
        pid_porta=$!
        # The prefix made and scaled here, then its server started in the namespace before any
        # of its programs.
        WINEPREFIX=$prefixo_lab "$wineserver" -k 2>/dev/null || true
        wine_prefixo "$prefixo_lab"
        wine_escala "$prefixo_lab" "$dpi"
        ip netns exec nbAcapw env WINEPREFIX="$prefixo_lab" "$wineserver" -p
        ip netns exec nbAcapw env WINEPREFIX="$prefixo_lab" "$wine" wineboot </dev/null >/dev/null 2>&1
        # The editor stays up while its input is open: 12 s.
        sleep 12 | ip netns exec nbAcapw env WINEPREFIX="$prefixo_lab" \
            "$wine" "$build/SondaRede.exe" --remota --dica >"$LAB/sonda.log" 2>&1 &
        pid_editor=$!
        for _ in $(seq 100); do
            grep -q " \* ESCRITORIO/MAQUINA-W" "$LAB/sonda.log" && break
            sleep 0.1
        done
        fotografa 'Incluir Conex' conexoes-windows.png \
            "the connection editor with the lab's machine marked (Windows build, Wine, $dpi DPI)"
        wait "$pid_editor" 2>/dev/null || true
        encerra_processos "$pid_porta"
    fi
    WINEPREFIX=$prefixo_lab "$wineserver" -k 2>/dev/null || true
    tests/auxiliar/laboratorio_rede.sh down || true
    rm -rf "$lab_pasta"
    unset LAB SUFIXO lab_pasta prefixo_lab pid_porta pid_editor janela
fi
