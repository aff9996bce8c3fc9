#!/usr/bin/env bash
# Echo round trips on the loopback, ours beside iputils' ping, and the precision of our 1000 ms
# timeout against a silent host. Runs in network namespaces of its own (unshare -n as root,
# unshare -rn otherwise): the silent host is a veth peer that ignores echo requests.
# Usage: bench/bench_ping.sh [build folder]   (a Release build gives the figures to publish)
set -euo pipefail
build=$(realpath "${1:-build-release}")
bin="$build/bench/bench_ping"
[[ -x "$bin" ]] || { echo "no $bin: build the benchmarks first" >&2; exit 1; }

if [[ "${BENCH_PING_DENTRO:-}" != 1 ]]; then
    opcao=-rn
    [[ $(id -u) == 0 ]] && opcao=-n
    BENCH_PING_DENTRO=1 exec unshare $opcao -- "$0" "$build"
fi

ip link set lo up
echo "0 0" > /proc/sys/net/ipv4/ping_group_range
unshare -n sh -c 'echo ready; exec sleep 120' > /tmp/bench_ping.$$ &
vizinho=$!
trap 'kill $vizinho 2>/dev/null || true; rm -f /tmp/bench_ping.$$' EXIT
until grep -q ready /tmp/bench_ping.$$; do sleep 0.05; done
ip link add bpv0 type veth peer name bpv1 netns $vizinho
ip addr add 198.51.100.1/24 dev bpv0
ip link set bpv0 up
nsenter -t $vizinho -n sh -e -c 'ip link set lo up; ip addr add 198.51.100.2/24 dev bpv1;
    ip link set bpv1 up; echo 1 > /proc/sys/net/ipv4/icmp_echo_ignore_all'
sleep 0.5

echo "== iputils ping -c 20 127.0.0.1"
ping -q -c 20 -i 0.2 127.0.0.1 | tail -2
echo "== bench_ping"
"$bin" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
    --silencioso=198.51.100.2
