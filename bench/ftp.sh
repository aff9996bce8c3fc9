#!/usr/bin/env bash
# FTP download throughput on the loopback: the program's download thread (bench/baixa_ftp.cpp,
# Th_Download) beside curl's command line with the same options (active mode with PORT, one
# CWD, binary), fetching the same file from the same pyftpdlib server, alternately, in one run.
# Wall time of each whole process, file on the same file system for both.
# Usage: bench/ftp.sh [build folder] [MB] [rounds]   (a Release build gives the figures to publish)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build-bench}")
mb=${2:-200}
rodadas=${3:-5}
bin="$build/bench/baixa_ftp"
[[ -x "$bin" ]] || { echo "no $bin: build target baixa_ftp first" >&2; exit 1; }

# A RAM file system when it has room for the file twice, so that the disk does not decide.
base=/tmp
livre=$(df -Pm /dev/shm 2>/dev/null | awk 'NR==2 {print $4}')
[[ -n $livre && $livre -gt $((mb * 2 + 64)) ]] && base=/dev/shm
tmp=$(mktemp -d "$base/bench_ftp.XXXXXX")
pid_servidor=
encerra() {
    if [[ -n $pid_servidor ]]; then
        kill "$pid_servidor" 2>/dev/null || true
        wait "$pid_servidor" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap encerra EXIT

pasta=/httpdocs/Programas/Assistencia_remota
arquivo=Suporte_vestranox.exe
mkdir -p "$tmp/raiz$pasta"
head -c "${mb}M" /dev/urandom > "$tmp/raiz$pasta/$arquivo"
/usr/bin/python3 tests/support/servidor_ftp.py --raiz "$tmp/raiz" --usuario supvestra \
    --senha 'K7wR4#' > "$tmp/porta" &
pid_servidor=$!
for _ in $(seq 100); do [[ -s $tmp/porta ]] && break; sleep 0.1; done
porta=$(head -n1 "$tmp/porta")
[[ -n $porta ]] || { echo "the FTP server did not start" >&2; exit 1; }

agora() { date +%s.%N; }
destino=$tmp/destino.exe
curl_s=()
nosso_s=()
interno_s=()
for ((i = 1; i <= rodadas; i++)); do
    rm -f "$destino"
    t=$(agora)
    curl -sS --user 'supvestra:K7wR4#' --ftp-port - --disable-eprt --ftp-method singlecwd \
        --noproxy '*' -o "$destino" "ftp://127.0.0.1:$porta/%2F${pasta#/}/$arquivo"
    curl_s+=("$(echo "$(agora) $t" | awk '{printf "%.3f", $1 - $2}')")
    cmp -s "$destino" "$tmp/raiz$pasta/$arquivo" || { echo "curl: wrong file" >&2; exit 1; }

    rm -f "$destino"
    t=$(agora)
    interno_s+=("$("$bin" "$porta" "$pasta" "$arquivo" "$destino")")
    nosso_s+=("$(echo "$(agora) $t" | awk '{printf "%.3f", $1 - $2}')")
    cmp -s "$destino" "$tmp/raiz$pasta/$arquivo" || { echo "baixa_ftp: wrong file" >&2; exit 1; }
    echo "round $i: curl ${curl_s[-1]} s, baixa_ftp ${nosso_s[-1]} s (download alone ${interno_s[-1]} s)"
done

mediana() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
mc=$(mediana "${curl_s[@]}")
mn=$(mediana "${nosso_s[@]}")
mi=$(mediana "${interno_s[@]}")
echo "file: $mb MB in $base, $rodadas rounds, $(curl --version | head -n1 | cut -d' ' -f1-2)"
awk -v mb="$mb" -v c="$mc" -v n="$mn" -v i="$mi" 'BEGIN {
    printf "curl command line:      median %.3f s, %.0f MB/s\n", c, mb / c
    printf "baixa_ftp (Th_Download): median %.3f s, %.0f MB/s (%.2fx curl)\n", n, mb / n, c / n
    printf "  of which the download: median %.3f s, %.0f MB/s\n", i, mb / i }'
