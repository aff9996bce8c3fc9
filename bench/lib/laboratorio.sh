# Sourced by the network benchmarks, from the repository's root, after `set -euo pipefail`:
# the editor probe of the build folder "$1" (default build-release) in $sonda, and the namespace
# lab (tests/auxiliar/laboratorio_rede.sh) in a temporary folder, brought up with the caller's
# SUFIXO and lab variables. On exit the processes whose pids the caller put in `pids` are
# stopped, the lab taken down and the folder removed. Needs root.
source scripts/lib/processos.sh
build=$(realpath "${1:-build-release}")
sonda="$build/bench/sonda_rede"
[[ -x "$sonda" ]] || { echo "no $sonda: build target sonda_rede first" >&2; exit 1; }
[[ $(id -u) == 0 ]] || { echo "$(basename "$0"): creating network namespaces needs root" >&2; exit 1; }
pasta=$(mktemp -d)
chmod 755 "$pasta" # the daemons drop root and must reach their sockets
export LAB=$pasta/lab
laboratorio=tests/auxiliar/laboratorio_rede.sh
pids=()
fim_laboratorio() {
    encerra_processos "${pids[@]}"
    "$laboratorio" down || true
    rm -rf "$pasta"
}
trap fim_laboratorio EXIT
barramento() { echo "unix:path=$LAB/$1/system_bus_socket"; }
"$laboratorio" up >/dev/null
