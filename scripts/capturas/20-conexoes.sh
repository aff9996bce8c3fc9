# Sourced by scripts/run: the connection editor in include mode, switched to a remote server,
# its network tree showing the machines of a small lab (two network namespaces with
# avahi-daemon and wsdd, tests/auxiliar/laboratorio_rede.sh), saved in docs/conexoes.png. A
# listener on port 3050 of the second namespace gives its machines the Firebird mark; a third
# machine, announced at the first namespace's address where nothing listens, keeps the plain
# icon. The mark's tooltip is shown.
# The editor runs inside the lab's first namespace (bench target sonda_rede, the real form
# with the platform's browser) on the same X display, over the main window. Needs root for
# the namespaces; without it the step is skipped. Leaves the program at its main window.
if [[ $(id -u) != 0 ]]; then
    echo "run: docs/conexoes.png skipped (the network lab needs root)"
else
    cmake --build "$build" -j2 --target sonda_rede >/dev/null
    lab_pasta=$(mktemp -d)
    chmod 755 "$lab_pasta" # the daemons drop root and must reach their sockets
    export LAB=$lab_pasta/lab SUFIXO=cap
    if tests/auxiliar/laboratorio_rede.sh up >/dev/null; then
        ip netns exec nbBcap env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$LAB/B/system_bus_socket" \
            avahi-publish -s maquina-b _smb._tcp 445 >"$LAB/publish.log" 2>&1 &
        pid_publica=$!
        ip netns exec nbBcap python3 tests/auxiliar/hospede_ws.py mudo 198.51.100.2 3050 \
            >"$LAB/porta.log" 2>&1 &
        pid_porta=$!
        for _ in $(seq 50); do
            grep -q pronto "$LAB/porta.log" && break
            sleep 0.1
        done
        ip netns exec nbBcap env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$LAB/B/system_bus_socket" \
            avahi-publish -a -R maquina-c.local 198.51.100.1 >/dev/null 2>&1 &
        pid_endereco=$!
        ip netns exec nbBcap env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$LAB/B/system_bus_socket" \
            avahi-publish -s -H maquina-c.local maquina-c _smb._tcp 445 >/dev/null 2>&1 &
        pid_publica_c=$!
        # The editor stays up while its input is open: 6 s.
        sleep 6 | ip netns exec nbAcap env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$LAB/A/system_bus_socket" \
            QT_QPA_PLATFORM=xcb "$build/bench/sonda_rede" --remota --dica >"$LAB/sonda.log" 2>&1 &
        pid_editor=$!
        for _ in $(seq 50); do
            grep -q "local/maquina-c" "$LAB/sonda.log" && [[ $(grep -c " \* " "$LAB/sonda.log") == 2 ]] &&
                break
            sleep 0.1
        done
        sleep 0.5
        "$build/demo/captura" docs/conexoes.png 10
        echo "run: screenshot of the connection editor in $PWD/docs/conexoes.png"
        wait "$pid_editor" 2>/dev/null || true
        encerra_processos "$pid_publica" "$pid_porta" "$pid_endereco" "$pid_publica_c"
    fi
    tests/auxiliar/laboratorio_rede.sh down || true
    rm -rf "$lab_pasta"
    unset LAB SUFIXO
fi
