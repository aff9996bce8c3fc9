# Sourced by scripts/run: the connection editor in include mode, in a small lab (two network
# namespaces with avahi-daemon, tests/auxiliar/laboratorio_rede.sh, its wsdd stopped): the
# second one runs a real Firebird 3 server holding the demo's database and user (srv-banco,
# 198.51.100.2) and a plain listener on port 3050 (maquina-c, .3: no mark). The editor, on the demo
# installation, switches to a remote server, searches the database ("Procurar banco"), fills
# the form from the server found ("Usar este servidor") and shows that machine's tooltip; saved
# in docs/conexoes.png. The editor runs inside the lab's first namespace (bench target
# sonda_rede, the real form with the platform's browser) on the same X display, over the main
# window. Needs root for the namespaces; without it the step is skipped. Leaves the program at
# its main window.
if [[ $(id -u) != 0 ]]; then
    echo "run: docs/conexoes.png skipped (the network lab needs root)"
else
    cmake --build "$build" -j2 --target sonda_rede >/dev/null
    lab_pasta=$(mktemp -d)
    chmod 755 "$lab_pasta" # the daemons drop root and must reach their sockets
    export LAB=$lab_pasta/lab SUFIXO=cap
    barramento_b="unix:path=$LAB/B/system_bus_socket"
    pids_lab=()
    if tests/auxiliar/laboratorio_rede.sh up >/dev/null &&
        tests/auxiliar/laboratorio_rede.sh stop-wsdd &&
        FB_USUARIO=VELTO FB_SENHA=masterkey tests/auxiliar/laboratorio_rede.sh start-firebird; then
        ip -n nbBcap addr add 198.51.100.3/24 dev vnbBcap
        ip netns exec nbBcap python3 tests/auxiliar/hospede_ws.py mudo 198.51.100.3 3050 \
            >"$LAB/porta.log" 2>&1 &
        pids_lab+=($!)
        for maquina in srv-banco:198.51.100.2 maquina-c:198.51.100.3; do
            ip netns exec nbBcap env DBUS_SYSTEM_BUS_ADDRESS="$barramento_b" \
                avahi-publish -a -R "${maquina%%:*}.local" "${maquina#*:}" >/dev/null 2>&1 &
            pids_lab+=($!)
            ip netns exec nbBcap env DBUS_SYSTEM_BUS_ADDRESS="$barramento_b" \
                avahi-publish -s -H "${maquina%%:*}.local" "${maquina%%:*}" _smb._tcp 445 \
                >/dev/null 2>&1 &
            pids_lab+=($!)
        done
        comandos=$LAB/comandos
        mkfifo "$comandos"
        ip netns exec nbAcap env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$LAB/A/system_bus_socket" \
            QT_QPA_PLATFORM=xcb "$build/bench/sonda_rede" --pasta "$(dirname "$programa")" \
            <"$comandos" >"$LAB/sonda.log" 2>&1 &
        pid_editor=$!
        exec 4>"$comandos"
        espera_linha() { # a line of the editor's, at most 20 s
            for _ in $(seq 200); do
                grep -q "$1" "$LAB/sonda.log" && return 0
                sleep 0.1
            done
            return 1
        }
        espera_linha " pronto$" && echo remota >&4
        espera_linha " \* local/srv-banco " && espera_linha " + local/maquina-c" && sleep 1.5
        echo procura >&4
        espera_linha " linha Banco encontrado" && echo "menu srv-banco" >&4
        sleep 0.5
        echo "dica srv-banco" >&4
        sleep 0.7
        "$build/demo/captura" docs/conexoes.png 10
        echo "run: screenshot of the connection editor in $PWD/docs/conexoes.png"
        exec 4>&-
        wait "$pid_editor" 2>/dev/null || true
    fi
    encerra_processos "${pids_lab[@]}"
    tests/auxiliar/laboratorio_rede.sh down || true
    rm -rf "$lab_pasta"
    unset LAB SUFIXO
fi
