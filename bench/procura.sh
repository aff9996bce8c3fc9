#!/usr/bin/env bash
# The database search in the namespace lab (tests/auxiliar/laboratorio_rede.sh): a real
# Firebird 3 server holding the edition's database (198.51.100.2, start-firebird) among 20
# machines whose port 3050 takes a connection (19 plain listeners, 198.51.100.10-28), all
# announced over mDNS from namespace B (h0 is the server). Per round, in namespace A, the editor
# (target sonda_rede) on an installation whose DBXCONNECTIONS.INI holds the edition's user:
# from its first show to the server's mark and to the last mark, then, once the marks have
# settled, from the click on "Procurar banco" to "Banco encontrado em 1 servidor.". With a
# second build folder (the code before the Firebird answer, target sonda_rede), the same rounds'
# marks of its bare-connect prober, which marks every machine that takes the connection.
# Needs root. Usage: bench/procura.sh [build folder] [rounds] [build folder before]
set -euo pipefail
cd "$(dirname "$0")/.."
rodadas=${2:-5}
antes=${3:-}
[[ -z $antes || -x $antes/bench/sonda_rede ]] || { echo "no $antes/bench/sonda_rede" >&2; exit 1; }
export SUFIXO=procura
source bench/lib/laboratorio.sh
senha=Vx7-pedra-lunar
em() { # A|B command...: becomes the command, in that namespace, on its bus (in a subshell)
    local lado=$1
    shift
    exec ip netns exec "nb$lado$SUFIXO" env DBUS_SYSTEM_BUS_ADDRESS="$(barramento "$lado")" \
        QT_QPA_PLATFORM=offscreen "$@"
}
"$laboratorio" stop-wsdd
FB_USUARIO=VELTO FB_SENHA=$senha "$laboratorio" start-firebird
enderecos=198.51.100.2
for i in $(seq 10 28); do
    ip -n nbBprocura addr add "198.51.100.$i/24" dev vnbBprocura
    (em B python3 tests/auxiliar/hospede_ws.py mudo "198.51.100.$i" 3050 >"$LAB/mudo.$i" 2>&1) &
    pids+=($!)
    enderecos+=,198.51.100.$i
done
(em B /usr/bin/python3 bench/publica_mdns.py 20 "$enderecos" h >"$LAB/publica.log" 2>&1) &
pids+=($!)
until grep -qs pronto "$LAB/publica.log"; do sleep 0.1; done
for i in $(seq 10 28); do until grep -qs pronto "$LAB/mudo.$i"; do sleep 0.05; done; done
instalacao=$pasta/EMPRESA
mkdir -p "$instalacao"
printf '[EMPRESA]\r\nUser_Name=VELTO\r\nPassword=%s\r\nServidor Aplica\xe7\xe3o=/VELTO\r\n' \
    "$senha" >"$instalacao/DBXCONNECTIONS.INI"

# One round of the editor of build folder $1, its lines in $2: shown, 4 s for the marks (the
# plain listeners' time limit, 8 at a time), then, when $3 is "procura", the search until it is
# over (at most 20 s).
rodada() {
    local fifo=$LAB/comandos saida=$2
    rm -f "$fifo"
    mkfifo "$fifo"
    (em A "$1/bench/sonda_rede" --pasta "$instalacao" <"$fifo" >"$saida" 2>/dev/null) &
    local editor=$!
    exec 3>"$fifo"
    until grep -qs ' pronto$' "$saida"; do sleep 0.01; done
    echo remota >&3
    sleep 4
    if [[ ${3:-} == procura ]]; then
        echo procura >&3
        for _ in $(seq 1 200); do
            grep -qs ' linha \(Banco encontrado\|Nenhum\)' "$saida" && break
            sleep 0.1
        done
    fi
    exec 3>&-
    wait "$editor" || true
}
# ms from the editor's first show to the first line matching $2, in file $1 ("none" if none).
desde_pronto() {
    awk -v p="$2" '$2 == "pronto" {t = $1} $0 ~ p && t != "" {print $1 - t; f = 1; exit}
        END {if (!f) print "none"}' "$1"
}
echo "round  server's mark  last mark  marks  click -> found  [ms]   before: server's mark  last mark  marks"
for ((i = 1; i <= rodadas; i++)); do
    saida=$LAB/agora.$i
    rodada "$build" "$saida" procura
    marca=$(desde_pronto "$saida" ' \* local/h0 ')
    ultima=$(awk '$2 == "pronto" {t = $1} $2 == "*" {u = $1 - t} END {print u + 0}' "$saida")
    marcas=$(grep -c ' \* ' "$saida" || true)
    clique=$(awk '$2 == "comando" && $3 == "procura" {c = $1}
        $2 == "linha" && $3 == "Banco" {print $1 - c; exit}' "$saida")
    linha="$(printf "%5d  %13s  %9s  %5s  %14s" "$i" "$marca" "$ultima" "$marcas" "${clique:-none}")"
    if [[ -n $antes ]]; then
        velho=$LAB/antes.$i
        rodada "$antes" "$velho"
        linha+="$(printf "   %29s  %9s  %5s" "$(desde_pronto "$velho" ' \* local/h0 ')" \
            "$(awk '$2 == "pronto" {t = $1} $2 == "*" {u = $1 - t} END {print u + 0}' "$velho")" \
            "$(grep -c ' \* ' "$velho" || true)")"
    fi
    echo "$linha"
done
