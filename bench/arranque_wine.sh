#!/usr/bin/env bash
# Start-up of the Windows build under Wine, to the main window's first paint (`arranque.exe`:
# the program's own main with the first-paint hook of bench/arranque.sh, run from a copy of the
# demo's EMPRESA folder), beside a bare Qt window built with the same toolchain that quits at
# its first paint (`janela_nua.exe`) and the same window with a label and a button
# (`janela_texto.exe`): one paired hyperfine run, on Qt's windows platform, on a private Xvfb
# without a window manager, in a bare prefix of its own whose wineserver stays up (so that
# Wine's own start is not counted). Then the DLLs each one loads (WINEDEBUG=+loaddll), and
# those the program loads that the bare window does not.
# Usage: bench/arranque_wine.sh [Windows build folder]   (default build-win, made by
# scripts/test-windows; its test build asks 127.0.0.1:9 for the public IP)
set -euo pipefail
cd "$(dirname "$0")/.."
raiz=$PWD
source scripts/lib/wine.sh
build=$(realpath "${1:-build-win}")
cmake --build "$build" --target arranque janela_nua janela_texto >/dev/null

qt_win=/opt/qt6-mingw64
curl_win=/opt/curl-mingw64
if [[ ! -d $qt_win ]]; then
    cache=${GERENCIADOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/gerenciador}
    qt_win=$cache/qt6-mingw64
    curl_win=$cache/curl-mingw64
fi
mingw=x86_64-w64-mingw32-g++-posix
winedir() { echo "Z:${1//\//\\}"; }
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64 LANG=C.UTF-8 LC_ALL=C.UTF-8
export WINEPATH="$(winedir "$qt_win/bin");$(winedir "$curl_win/bin")"
WINEPATH+=";$(winedir "$(dirname "$($mingw -print-file-name=libstdc++-6.dll)")")"
WINEPATH+=";$(winedir "$(dirname "$($mingw -print-file-name=libwinpthread-1.dll)")")"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEPREFIX=$build/wine-bench
unset WINEQT_QPA_PLATFORM QT_QPA_PLATFORM

suite=$build/bench-arranque/EMPRESA
rm -rf "$build/bench-arranque"
mkdir -p "$suite"
cp "$build/arranque.exe" "$build/janela_nua.exe" "$build/janela_texto.exe" "$suite/"
cp demo/instalacao/EMPRESA/*.INI "$suite/"
for m in VELTOM01 VELTOM02 VELTOM03 VELTOM04 VELTOM05 VELTOM06 VELTOM12; do
    cp "$build/modulo.exe" "$suite/$m.EXE"
done

para() {
    "$wineserver" -k 2>/dev/null || true
    wine_fim_tela
}
trap para EXIT
wine_prefixo "$WINEPREFIX"
wine_escala "$WINEPREFIX" 96
wine_tela
"$wineserver" -p # kept up between runs
"$wine" wineboot </dev/null >/dev/null 2>&1

cd "$suite"
echo "== Wine $("$wine" --version), windows platform, Xvfb, no window manager"
hyperfine -N --warmup 2 --runs 15 "$wine arranque.exe" "$wine janela_nua.exe" \
    "$wine janela_texto.exe"

dlls() { # the DLLs a program loads, one a line, sorted
    WINEDEBUG=+loaddll "$wine" "$1" 2>&1 >/dev/null | sed -n 's/.*Loaded L"\([^"]*\)".*/\1/p' |
        sed 's/.*\\//' | tr 'A-Z' 'a-z' | sort -u
}
dlls arranque.exe >"$build/bench-arranque/arranque.dlls"
dlls janela_nua.exe >"$build/bench-arranque/janela_nua.dlls"
echo "== DLLs loaded: arranque $(wc -l <"$build/bench-arranque/arranque.dlls")," \
    "janela_nua $(wc -l <"$build/bench-arranque/janela_nua.dlls")"
echo "== loaded by the program and not by the bare window:"
comm -23 "$build/bench-arranque/arranque.dlls" "$build/bench-arranque/janela_nua.dlls" |
    sed 's/^/  /'
