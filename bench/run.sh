#!/usr/bin/env bash
# Builds the benchmarks (release), starts the loopback server, runs every benchmark with its
# peer (grep, wget, wget2, curl) and prints a summary. The server is stopped on exit, whatever
# happens. Extra arguments go to vidrake-bench-crawl (--stall-seconds S, 5 by default).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
vidrake_install_deps

targets=(vidrake-bench-server vidrake-bench-patterns vidrake-bench-queue vidrake-bench-crawl
         vidrake-bench-fetch vidrake-bench-ahead vidrake-bench-mixed vidrake-bench-model)
cmake --preset release >/dev/null
cmake --build --preset release --target "${targets[@]}"
bin=build/release/bench

work=$(mktemp -d)
server_pid=
stop() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap stop EXIT
trap 'exit 130' INT TERM

# The server also stops by itself, should this script be killed before its trap runs.
"$bin/vidrake-bench-server" --port 0 --seconds 900 >"$work/port" &
server_pid=$!
for _ in $(seq 50); do
  [ -s "$work/port" ] && break
  sleep 0.1
done
port=$(head -n1 "$work/port")
[ -n "$port" ] || { echo "run.sh: the server did not start" >&2; exit 1; }
echo "Loopback server on 127.0.0.1:$port; $(nproc) cores"

status=0
"$bin/vidrake-bench-patterns" | tee "$work/patterns.txt" || status=1
"$bin/vidrake-bench-model" | tee "$work/model.txt" || status=1
for name in queue crawl fetch ahead mixed; do
  extra=()
  [ "$name" = crawl ] && extra=("$@")
  "$bin/vidrake-bench-$name" --port "$port" "${extra[@]}" | tee "$work/$name.txt" || status=1
done

echo
echo "Summary ($(nproc) cores)"
grep -h '^summary: ' "$work"/{patterns,model,queue,crawl,fetch,ahead,mixed}.txt | sed 's/^summary: /  /'
exit "$status"
