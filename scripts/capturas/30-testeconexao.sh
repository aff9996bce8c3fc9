# Sourced by scripts/run: the ping form after a run against the local server, saved in
# docs/testeconexao.png. In the main window the step picks the server "LOCAL - LOCALHOST" (the
# program rewrites the edition's Database in DBXCONNECTIONS.INI), opens the settings panel,
# "Testar conexão", presses Enter (4 echoes, the Firebird port, the database) and waits for
# the database lines. Then it closes the form and the panel and picks the server that was in
# use again. As root (starting the Firebird server of scripts/servicos/firebird for the step when
# nobody runs it) it first makes
# the database that the demo's section names there, /VELTOGDB/EMPRESA/VELTO.FDB, when missing
# (owned by the server's user); the lines then show what the server says to the section's
# user. Positions are the forms' own (Principal.ui, Menu.ui) and the panel's placement.

# The server is started here when nobody runs it, and stopped again at the end of the step.
firebird_do_passo=
if [[ $(id -u) == 0 ]] && ! scripts/servicos/firebird status >/dev/null 2>&1; then
    scripts/servicos/firebird start >/dev/null && firebird_do_passo=1
fi
if [[ $(id -u) == 0 ]] && scripts/servicos/firebird status >/dev/null 2>&1; then
    if [[ ! -e /VELTOGDB/EMPRESA/VELTO.FDB ]]; then
        install -d -o firebird -g firebird /VELTOGDB /VELTOGDB/EMPRESA
        printf "create database '127.0.0.1:/VELTOGDB/EMPRESA/VELTO.FDB' user 'SYSDBA' password 'plumbvext';\ncommit;\n" |
            isql-fb -q >/dev/null || echo "run: could not make /VELTOGDB/EMPRESA/VELTO.FDB"
    fi
else
    echo "run: no local Firebird database for the ping form's screenshot (needs root and scripts/servicos/firebird)"
fi

tecla() { # tecla KEY...: to the window that has the focus
    xdotool key "$@"
    sleep 0.4
}
clica_em() { # clica_em X Y (screen)
    xdotool mousemove "$1" "$2" click 1
    sleep 0.4
}
principal=$(xdotool search --sync --onlyvisible --pid "$pid_programa" --name '^VELTO ' | head -n1)
eval "$(xdotool getwindowgeometry --shell "$principal" | sed 's/^/teste_/')"
rodape_y=$((teste_Y + teste_HEIGHT - 55)) # the bottom panel: the window's last 55 pixels
# escolhe_servidor UP|DOWN: opens "Servidor em uso", moves one entry (the list is in
# alphabetical order: FILIAL CENTRO, LOCAL - LOCALHOST, MATRIZ) and confirms the box.
escolhe_servidor() {
    clica_em $((teste_X + 8 + 129)) $((rodape_y + 24 + 11))
    tecla "$1" Return
    xdotool search --sync --onlyvisible --pid "$pid_programa" --name '^VELTO$' >/dev/null
    tecla Return
}
escolhe_servidor Up
clica_em $((teste_X + 287)) $((rodape_y + 22 + 13)) # the settings button
xdotool search --sync --onlyvisible --pid "$pid_programa" --name '^Menu$' >/dev/null
sleep 0.5
clica_em $((teste_X + 314 + 6 + 40)) $((teste_Y + 30 + 208 + 8)) # "Testar conexão"
xdotool search --sync --onlyvisible --pid "$pid_programa" --name '^Teste de Conex' >/dev/null
tecla Return
sleep 4 # the echoes, the port and the attach (at most 5 s when nothing answers)
xdotool mousemove $((teste_X + 150)) $((teste_Y + 30))
"$build/demo/captura" docs/testeconexao.png 10
echo "run: screenshot of the ping form in $PWD/docs/testeconexao.png"
tecla Escape                                        # the form
clica_em $((teste_X + 314 + 109)) $((teste_Y + 30 + 10)) # the panel's "X"
escolhe_servidor Down
if [[ -n $firebird_do_passo ]]; then
    scripts/servicos/firebird stop >/dev/null || true
fi
unset firebird_do_passo principal rodape_y teste_X teste_Y teste_WIDTH teste_HEIGHT teste_SCREEN teste_WINDOW
unset -f tecla clica_em escolhe_servidor
