#!/usr/bin/env bash
# Builds libcurl for Windows x86_64 (mingw-w64, posix threads) from Debian 12's curl source
# package (this machine's libcurl version when it has one) and installs it into PREFIX: DLL,
# import library, headers and CMake package. HTTP(S) and FTP(S), Schannel TLS, no zlib and no
# other protocols.
#   scripts/toolchain/curl-mingw64.sh PREFIX WORK
# Needs the packages that scripts/test-windows installs; no root.
set -euo pipefail
aqui=$(cd "$(dirname "$0")" && pwd)
source "$aqui/comum.sh"
prefixo=$1
obra=$2

versao=$(dpkg-query -W -f='${source:Version}' libcurl4 2>/dev/null || true)
echo "toolchain: libcurl: fetching Debian's curl ${versao:-(newest)} source"
versao=$(fonte_debian curl "$versao" "$obra")
echo "toolchain: libcurl: configuring $versao"
# CA bundle and path "none": the build machine's certificate paths must not end up in the
# DLL (Schannel uses the Windows store).
cmake -S "$obra/src/fonte" -B "$obra/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$aqui/../../cmake/mingw64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefixo" \
    -DBUILD_SHARED_LIBS=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF \
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none \
    -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DUSE_LIBIDN2=OFF \
    -DUSE_WIN32_IDN=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF -DCURL_USE_LIBPSL=OFF \
    -DCURL_USE_GSSAPI=OFF -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DCURL_DISABLE_RTSP=ON \
    -DCURL_DISABLE_DICT=ON -DCURL_DISABLE_TELNET=ON -DCURL_DISABLE_TFTP=ON \
    -DCURL_DISABLE_POP3=ON -DCURL_DISABLE_IMAP=ON -DCURL_DISABLE_SMTP=ON \
    -DCURL_DISABLE_GOPHER=ON -DCURL_DISABLE_MQTT=ON -DCURL_DISABLE_SMB=ON \
    >"$obra/configure.log" 2>&1 ||
    { tail -n 40 "$obra/configure.log" >&2; echo "toolchain: libcurl: configure failed" >&2; exit 1; }
compila_com_progresso libcurl "$obra/build" "$obra/build.log"
rm -rf "$prefixo"
cmake --install "$obra/build" >"$obra/install.log"
x86_64-w64-mingw32-strip --strip-unneeded "$prefixo/bin/libcurl.dll"
echo "curl $versao (Debian 12 source package) for x86_64-w64-mingw32" >"$prefixo/ORIGEM.txt"
