# Wine as the Windows build's users meet it, for scripts that run the program or its tests
# on a display (sourced; bash). Expects `wine` and `wineserver` (paths of Wine's programs) and
# the WINEPATH of the build (Qt, libcurl, the mingw run-time) to be set by the caller.
#
#   wine_prefixo PASTA [fontes]   makes (once) and boots a 64-bit prefix in PASTA; with
#                                 "fontes", Wine's own fonts (Debian's fonts-wine: MS Sans
#                                 Serif, Tahoma, Courier...) go into its Fonts folder, taken from
#                                 the package's files unpacked, not installed, so that other
#                                 prefixes stay bare
#   wine_escala PASTA DPI         sets the prefix's display scale (96 = 100 %, 144 = 150 %) and
#                                 ends its wineserver, so that the next program starts with it
#   wine_tela                     starts a private Xvfb (no window manager) and exports DISPLAY;
#                                 its pid goes in $pid_tela (end it with wine_fim_tela)
#   wine_fim_tela                 ends that Xvfb by its pid

# Where fonts-wine's files are found: installed, or unpacked from the package (apt-get download)
# into $GERENCIADOR_CACHE; prints the folder or fails.
wine_fontes_do_pacote() {
    if compgen -G "/usr/share/wine/fonts/*.ttf" >/dev/null; then
        echo /usr/share/wine/fonts
        return 0
    fi
    local cache=${GERENCIADOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/gerenciador}/fonts-wine
    if ! compgen -G "$cache/usr/share/wine/fonts/*.ttf" >/dev/null; then
        mkdir -p "$cache"
        # The package lists may be missing on a fresh machine: fetched once then.
        (cd "$cache" && { apt-get download fonts-wine >/dev/null 2>&1 ||
            { apt-get -o DPkg::Lock::Timeout=600 update -qq >/dev/null 2>&1 &&
                apt-get download fonts-wine >/dev/null 2>&1; }; } &&
            dpkg-deb -x fonts-wine_*.deb "$cache") || return 1
    fi
    echo "$cache/usr/share/wine/fonts"
}

wine_prefixo() { # wine_prefixo PASTA [fontes]
    local pasta=$1 com_fontes=${2:-}
    mkdir -p "$pasta"
    WINEPREFIX=$pasta "$wine" wineboot -i </dev/null >/dev/null 2>&1 || return 1
    if [[ $com_fontes == fontes ]]; then
        local origem
        origem=$(wine_fontes_do_pacote) || {
            echo "wine.sh: Wine's own fonts (fonts-wine) could not be had" >&2
            return 1
        }
        WINEPREFIX=$pasta "$wineserver" -k 2>/dev/null || true
        cp -f "$origem"/* "$pasta/drive_c/windows/Fonts/"
    fi
}

wine_escala() { # wine_escala PASTA DPI
    local pasta=$1 dpi=$2 chave
    for chave in 'HKCU\Control Panel\Desktop' \
        'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
        WINEPREFIX=$pasta "$wine" reg add "$chave" /v LogPixels /t REG_DWORD /d "$dpi" /f \
            </dev/null >/dev/null 2>&1 || return 1
    done
    WINEPREFIX=$pasta "$wineserver" -k 2>/dev/null || true
    WINEPREFIX=$pasta "$wineserver" -w 2>/dev/null || true
}

wine_tela() {
    local numero=70
    while [[ -e /tmp/.X$numero-lock || -e /tmp/.X11-unix/X$numero ]]; do
        numero=$((numero + 1))
    done
    Xvfb ":$numero" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    pid_tela=$!
    local _
    for _ in $(seq 50); do
        [[ -e /tmp/.X11-unix/X$numero ]] && break
        sleep 0.1
    done
    export DISPLAY=:$numero
}

wine_fim_tela() {
    if [[ -n ${pid_tela:-} ]]; then
        kill "$pid_tela" 2>/dev/null || true
        wait "$pid_tela" 2>/dev/null || true
        pid_tela=
    fi
    unset DISPLAY
}
