#!/usr/bin/env bash
# The scripts' stop helper under set -e: processes ended by TERM (status 143) are gone
# afterwards, and the caller goes on and ends with its own status, 0.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/processos.sh"
sleep 300 &
a=$!
sleep 300 &
b=$!
encerra_processos "$a" "" "$b"
for pid in "$a" "$b"; do
    if kill -0 "$pid" 2>/dev/null; then
        echo "FAIL: process $pid still runs"
        exit 1
    fi
done
encerra_processos "$a" # already reaped: nothing to do, still no failure
echo "PASS"
