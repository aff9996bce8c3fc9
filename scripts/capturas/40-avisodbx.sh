# Sourced by scripts/run: the mark beside "Servidor em uso" when DBXCONNECTIONS.INI names another
# database than the server in use, saved in docs/avisodbx.png with its tooltip. The step edits
# the demo's file as a technician would (the EMPRESA Database of FILIAL CENTRO, while MATRIZ is in
# use), opens and closes the settings panel so that the main window becomes active again and
# looks, points at the mark, and puts the file back as it was (looked at again the same way).
# Positions are the forms' own (Principal.ui: the selector at 8, 24 of the bottom panel, 258 x 22;
# the mark at its right end) and the panel's placement (main window + 314, 30).

clica_em() { # clica_em X Y (screen)
    xdotool mousemove "$1" "$2" click 1
    sleep 0.4
}
principal=$(xdotool search --sync --onlyvisible --pid "$pid_programa" --name '^VELTO ' | head -n1)
eval "$(xdotool getwindowgeometry --shell "$principal" | sed 's/^/aviso_/')"
rodape_y=$((aviso_Y + aviso_HEIGHT - 55))
# The panel's round trip: the main window is active again afterwards.
volta_do_painel() {
    clica_em $((aviso_X + 287)) $((rodape_y + 22 + 13))
    xdotool search --sync --onlyvisible --pid "$pid_programa" --name '^Menu$' >/dev/null
    sleep 0.5
    clica_em $((aviso_X + 314 + 109)) $((aviso_Y + 30 + 10))
    # Without a window manager nobody hands the focus back: as one would.
    xdotool windowfocus "$principal"
    sleep 0.3
}
dbx=$(dirname "$programa")/DBXCONNECTIONS.INI
cp -p "$dbx" "$dbx.antes"
/usr/bin/python3 - "$dbx" <<'PY'
import sys
caminho = sys.argv[1]
dados = open(caminho, "rb").read()
secao = dados.index(b"[EMPRESA]")
linha = dados.index(b"Database=", secao)
fim = dados.index(b"\r\n", linha)
open(caminho, "wb").write(dados[:linha] + b"Database=SRVFILIAL:\\VELTOGDB\\EMPRESA\\VELTO.FDB" + dados[fim:])
PY
volta_do_painel
xdotool mousemove $((aviso_X + 8 + 258 - 11)) $((rodape_y + 24 + 11))
sleep 1.5 # the tooltip
"$build/demo/captura" docs/avisodbx.png 10
echo "run: screenshot of the dbExpress mark in $PWD/docs/avisodbx.png"
mv -f "$dbx.antes" "$dbx"
volta_do_painel
unset principal rodape_y dbx aviso_X aviso_Y aviso_WIDTH aviso_HEIGHT aviso_SCREEN aviso_WINDOW
unset -f clica_em volta_do_painel
