# Sourced by scripts/capturas-windows: the settings panel beside the main window
# (docs/menu-windows.png), then closed again with its "X". Positions are the forms' own
# (Principal.ui, Menu.ui) and the program's placement of the panel (main window + 314, 30),
# times $escala.
painel_x=$((janela_X + $(em_escala 314))) painel_y=$((janela_Y + $(em_escala 30)))
# The settings button: 26 x 26 at left 274 of the bottom panel, 22 below the panel's top, the
# panel being the window's last 55 pixels.
clica_em $((janela_X + $(em_escala 287))) $((janela_Y + janela_HEIGHT - $(em_escala 55) + $(em_escala 35)))
fotografa '^Menu$' menu-windows.png "the settings panel (Windows build, Wine, $dpi DPI)"
clica_em $((painel_x + $(em_escala 109))) $((painel_y + $(em_escala 10)))
unset painel_x painel_y
