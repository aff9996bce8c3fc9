# Sourced by scripts/run (see there): the settings panel beside the main window
# (docs/menu.png) and the module-button dialog opened from it (docs/botoes.png). The program is
# left at its main window. Positions are the forms' own (Principal.ui, Menu.ui, Botoes.ui) and
# the program's placement of the panel (main window + 314, 30) and the dialog (+ 314, 90).
# Clicks go to screen coordinates: xdotool's window-relative moves are not reliable on a
# window that was mapped a moment ago.

clica_em() { # clica_em X Y (screen)
    xdotool mousemove "$1" "$2" click 1
    sleep 0.3
}

principal=$(xdotool search --sync --onlyvisible --pid "$pid_programa" --name '^VELTO ' | head -n1)
eval "$(xdotool getwindowgeometry --shell "$principal" | sed 's/^/menu_/')"
painel_x=$((menu_X + 314)) painel_y=$((menu_Y + 30))
dialogo_x=$((menu_X + 314)) dialogo_y=$((menu_Y + 90))
# The settings button: 26 x 26 at left 274 of the bottom panel, 22 below the panel's top,
# the panel being the window's last 55 pixels.
clica_em $((menu_X + 287)) $((menu_Y + menu_HEIGHT - 55 + 22 + 13))
# fotografa TITLE FILE WHAT: once the window titled TITLE shows (past the panel's 150 ms
# unrolling), with the pointer back over the main window's banner, saves docs/FILE.
fotografa() {
    xdotool search --sync --onlyvisible --pid "$pid_programa" --name "$1" >/dev/null
    xdotool mousemove $((menu_X + 150)) $((menu_Y + 30))
    sleep 0.5
    "$build/demo/captura" "docs/$2" 10
    echo "run: screenshot of $3 in $PWD/docs/$2"
}
fotografa '^Menu$' menu.png "the settings panel"

# "Botões do Gerenciador", the panel's last link.
clica_em $((painel_x + 30)) $((painel_y + 316))
fotografa '^Bot.es Gerenciador$' botoes.png "the module-button dialog"

# "Fechar", then the panel's "X": back at the main window.
clica_em $((dialogo_x + 84)) $((dialogo_y + 294))
clica_em $((painel_x + 109)) $((painel_y + 10))
unset principal painel_x painel_y dialogo_x dialogo_y menu_X menu_Y menu_WIDTH menu_HEIGHT \
    menu_SCREEN menu_WINDOW
unset -f clica_em fotografa
