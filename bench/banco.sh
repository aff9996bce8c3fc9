#!/usr/bin/env bash
# The ping form's database check beside isql-fb, against one database on the test Firebird
# server (scripts/servicos/firebird start), in the same run:
#   bench/banco.sh [BUILD_FOLDER] [ROUNDS]      (default build-bench, 30)
# - isql-fb connecting to the database and leaving at once, beside isql-fb -z (the same
#   program, no connection): the difference is its connect;
# - bench_banco: the worker's whole call, its first call in the process, and the attach alone.
# The database is made in a folder of /tmp that the server's user can write, and dropped.
# Figures: docs/PERFORMANCE.md.
set -euo pipefail
build=${1:-build-bench}
rodadas=${2:-30}
senha=plumbvext
bench=$build/bench/bench_banco
[[ -x $bench ]] || { echo "banco: $bench missing (cmake --build $build --target bench_banco)" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "banco: hyperfine missing" >&2; exit 1; }

pasta=$(mktemp -d)
chmod 0777 "$pasta"
banco=$pasta/BENCH.FDB
sql() { isql-fb -q >/dev/null; }
apaga() {
    printf "connect '127.0.0.1:%s' user 'SYSDBA' password '%s';\ndrop database;\n" "$banco" "$senha" |
        sql || true
    rm -rf "$pasta"
}
trap apaga EXIT
printf "create database '127.0.0.1:%s' user 'SYSDBA' password '%s';\ncommit;\n" "$banco" "$senha" | sql

hyperfine -N --warmup 3 --runs "$rodadas" \
    "isql-fb -z" \
    "isql-fb -q -user SYSDBA -password $senha 127.0.0.1:$banco -i /dev/null"
GERENCIADOR_BANCO_BENCH=$banco "$bench" --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true
