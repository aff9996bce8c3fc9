#!/usr/bin/env bash
# Builds Qt's qtbase for Windows x86_64 (mingw-w64, posix threads) from Debian 12's qt6-base
# source package, the same version as this machine's moc/uic/rcc (qt6-base-dev-tools), and
# installs it, stripped, into PREFIX. Widgets, Network (Schannel TLS), Test; the windows,
# offscreen and minimal platform plugins; no OpenGL, ICU, SQL, XML or D-Bus.
#   scripts/toolchain/qtbase-mingw64.sh PREFIX WORK
# WORK holds the source and the build tree (about 1.2 GB) and may be removed afterwards; a
# build cut short resumes where it stopped.
# Needs the packages that scripts/test-windows installs; no root.
set -euo pipefail
aqui=$(cd "$(dirname "$0")" && pwd)
source "$aqui/comum.sh"
prefixo=$1
obra=$2

versao=$(dpkg-query -W -f='${source:Version}' qt6-base-dev-tools)
echo "toolchain: qtbase: fetching Debian's qt6-base $versao source"
versao=$(fonte_debian qt6-base "$versao" "$obra")
echo "toolchain: qtbase: configuring $versao"
cmake -S "$obra/src/fonte" -B "$obra/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$aqui/../../cmake/mingw64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefixo" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake" \
    -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_opengl=OFF -DFEATURE_icu=OFF -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_dbus=OFF -DFEATURE_vulkan=OFF -DFEATURE_openssl=OFF -DFEATURE_xml=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_tabletevent=OFF -DFEATURE_direct2d=OFF \
    -DFEATURE_directwrite3=OFF -DINPUT_opengl=no >"$obra/configure.log" 2>&1 ||
    { tail -n 40 "$obra/configure.log" >&2; echo "toolchain: qtbase: configure failed" >&2; exit 1; }
compila_com_progresso qtbase "$obra/build" "$obra/build.log"
rm -rf "$prefixo"
cmake --install "$obra/build" >"$obra/install.log"
find "$prefixo" -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
echo "qtbase $versao (Debian 12 source package) for x86_64-w64-mingw32" >"$prefixo/ORIGEM.txt"
