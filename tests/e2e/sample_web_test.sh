#!/usr/bin/env bash
# The sample web's server over real sockets: pages come back with this run's address in them,
# clips byte for byte with their ranges, nothing outside the root, and the server goes away by
# itself. (The package test crawls it.)
# Usage: sample_web_test.sh SERVER CLIPS_DIR WORK_DIR
set -uo pipefail

server=$1 clips=$2
work=$(mktemp -d "$3/sample-web.XXXXXX")
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_eq() { [ "$1" == "$2" ] || fail "$3: got '$1', wanted '$2'"; }
# Polls `$@` every tenth of a second for up to 10 seconds.
until_true() { for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done; return 1; }
ended() { ! kill -0 "$1" 2>/dev/null; }

# Starts a server with the given options; sets $base to the address it prints.
start_server() {
    "$server" --port 0 "$@" >"$work/server.out" &
    pids+=($!)
    has_address() { base=$(head -n 1 "$work/server.out"); [ -n "$base" ]; }
    until_true has_address || { echo "FAIL: the server printed no address" >&2; exit 1; }
}
status() { curl -s -o /dev/null -w '%{http_code}' "$@"; }
header() { curl -s -D - -o /dev/null "${@:2}" | tr -d '\r' | grep -i "^$1:" | cut -d' ' -f2-; }

start_server --seconds 60 --parent-pid $$
[[ "$base" =~ ^http://127\.0\.0\.1:[0-9]+/$ ]] || fail "printed address: $base"
port=${base##*:} port=${port%/}

# --- Pages: this run's address in place of every mark. The site links the crawler will
# harvest are all served, and every film on them is one of the test clips.
curl -s "${base}index.html" >"$work/pages.html"
cmp -s "$work/pages.html" <(curl -s "$base") || fail "/ is not the start page"
mapfile -t sites < <(grep -oE 'http\S+\.(com|net)' "$work/pages.html")
expect_eq "${#sites[@]}" 10 "site links on the start page"
for site in "${sites[@]}"; do
    [[ "$site" == "$base"sites/* ]] || fail "site link to elsewhere: $site"
    curl -sf "$site" >>"$work/pages.html" || fail "$site is not served"
done
grep -q "{{BASE}}" "$work/pages.html" && fail "a page still holds a {{BASE}} mark"
kinds=""
for movie in $(grep -oE '(http)\S+\.(avi|mpg|wmv)' "$work/pages.html"); do
    kinds+=" ${movie##*.}"
    cmp -s <(curl -s "$movie") "$clips/testsrc.${movie##*.}" || fail "$movie is not its test clip"
done
for kind in avi mpg wmv; do [[ "$kinds" == *" $kind"* ]] || fail "no .$kind film in the sample"; done
# A page's type and a clip's; the server's other rows would only restate its table.
clip="${base}movies/paper-boats.avi" size=$(stat -c %s "$clips/testsrc.avi")
expect_eq "$(header Content-Type "${base}index.html")" "text/html; charset=utf-8" "type of a page"
expect_eq "$(header Content-Type "$clip")" "video/x-msvideo" "type of a clip"

# --- Ranges, HEAD, and nothing outside the root, however it is spelled.
while read -r want args; do
    expect_eq "$(status $args)" "$want" "status of $args"
done <<STATUSES
206 -r 0-9 $clip
416 -r $size- $clip
200 -r 0-1,5-6 $clip
200 -r 9-2 $clip
403 --path-as-is ${base}../../../../etc/passwd
403 --path-as-is ${base}sites/%2e%2e/%2E%2E/etc/passwd
403 --path-as-is ${base}%2e%2e%2fetc%2fpasswd
404 ${base}no-such-page.html
405 -X POST ${base}index.html
STATUSES
expect_eq "$(header Content-Range "$clip" -r 0-9)" "bytes 0-9/$size" "range"
expect_eq "$(header Content-Range "$clip" -r "$size"-)" "bytes */$size" "unsatisfiable range"
cmp -s <(curl -s -r 0-9 "$clip") <(head -c 10 "$clips/testsrc.avi") || fail "first ten bytes differ"
cmp -s <(curl -s -r -100 "$clip") <(tail -c 100 "$clips/testsrc.avi") || fail "last 100 bytes differ"
expect_eq "$(curl -s -r 40000-99999999 "$clip" | wc -c)" $((size - 40000)) "range past the end"
expect_eq "$(curl -s -I "$clip" | wc -c)" "$(curl -s -D - -o /dev/null "$clip" | wc -c)" "HEAD's head"
expect_eq "$(header Content-Length -I "$clip")" "$size" "HEAD's length"
expect_eq "$(curl -s -X HEAD --max-time 5 "$clip" | wc -c)" 0 "HEAD's body"
expect_eq "$(header Allow -X POST "${base}index.html")" "GET, HEAD" "allowed methods"
answer=$(exec 3<>"/dev/tcp/127.0.0.1/$port" && printf 'NONSENSE\r\n\r\n' >&3 && head -n 1 <&3)
expect_eq "${answer%$'\r'}" "HTTP/1.1 400 Bad Request" "malformed request"
reused=$(curl -s -v -o /dev/null -o /dev/null "${base}index.html" "${base}style.css" 2>&1 |
    grep -c "Re-using existing connection")
expect_eq "$reused" 1 "one connection for two requests"
# Listening on the loopback address only (0100007F is 127.0.0.1 in /proc's spelling).
hexport=$(printf '%04X' "$port")
grep -qE "^ *[0-9]+: 0100007F:$hexport 00000000:0000 0A" /proc/net/tcp || fail "not on 127.0.0.1"
grep -qE "^ *[0-9]+: 00000000:$hexport " /proc/net/tcp && fail "listening on every address"

# --- A link inside the root that points outside it is refused.
root="$work/root"
mkdir -p "$root/inner"
echo secret >"$work/secret.txt"
echo '<a href="{{BASE}}/inner/">in</a>' >"$root/inner/index.html"
ln -s ../secret.txt "$root/leak.txt"
ln -s inner "$root/alias"
start_server --root "$root" --parent-pid $$
expect_eq "$(status "${base}leak.txt")" 403 "link out of the root"
expect_eq "$(curl -s "${base}alias/")" "<a href=\"${base%/}/inner/\">in</a>" "link inside the root"

# --- The server goes away by itself: after --seconds, or once its parent has gone (it serves
# while the parent lives).
"$server" --port 0 --seconds 1 >/dev/null &
pids+=($!)
until_true ended $! || fail "--seconds 1 did not stop the server"
sleep 600 &
parent=$!
pids+=($parent)
start_server --parent-pid "$parent"
expect_eq "$(status "$base")" 200 "the server while its parent lives"
kill "$parent"
until_true ended "${pids[-1]}" || fail "the server outlived its parent"

# --- Bad arguments are refused with a message.
"$server" --port 70000 2>/dev/null; expect_eq $? 2 "port out of range"
"$server" --root "$work/none" 2>/dev/null; expect_eq $? 2 "missing root"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "sample web: all checks passed"
