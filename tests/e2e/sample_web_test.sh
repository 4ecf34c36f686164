#!/usr/bin/env bash
# The sample web's server over real sockets: pages come back with this run's address in them,
# clips byte for byte with their ranges, nothing outside the root, and the server goes away by
# itself. Then the crawler walks the sample and must find the films the pages were written for.
# Usage: sample_web_test.sh SERVER CRAWLER CLIPS_DIR EXPECTED_LIST WORK_DIR
set -uo pipefail

server=$1 crawler=$2 clips=$3 expected=$4
work=$(mktemp -d "$5/sample-web.XXXXXX")
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_eq() { [ "$1" == "$2" ] || fail "$3: got '$1', wanted '$2'"; }

# Starts a server with the given options; sets $base to the address it prints.
start_server() {
    local out="$work/server.$RANDOM"
    "$server" --port 0 --seconds 60 --parent-pid $$ "$@" >"$out" &
    pids+=($!)
    served_pid=$!
    base=
    for _ in $(seq 100); do
        base=$(head -n 1 "$out" 2>/dev/null)
        [ -n "$base" ] && return 0
        kill -0 "$served_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "FAIL: the server printed no address" >&2
    exit 1
}

# Waits up to $2 tenths of a second for process $1 to end.
ends_within() {
    for _ in $(seq "$2"); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    return 1
}

status() { curl -s -o /dev/null -w '%{http_code}' "$@"; }
header() { curl -s -D - -o /dev/null "${@:2}" | tr -d '\r' | grep -i "^$1:" | cut -d' ' -f2-; }

start_server
[[ "$base" =~ ^http://127\.0\.0\.1:[0-9]+/$ ]] || fail "printed address: $base"
port=${base##*:}; port=${port%/}

# --- Pages: this run's address in place of every mark, as HTML.
curl -s "${base}index.html" >"$work/index.html"
expect_eq "$(status "${base}index.html")" 200 "start page"
expect_eq "$(header Content-Type "${base}index.html")" "text/html; charset=utf-8" "page type"
grep -q "{{BASE}}" "$work/index.html" && fail "the start page still holds a {{BASE}} mark"
grep -q "href=\"${base}style.css\"" "$work/index.html" || fail "the start page does not link here"
cmp -s "$work/index.html" <(curl -s "$base") || fail "/ is not the start page"

# The site links the crawler will harvest, all served, with every film on them.
mapfile -t sites < <(grep -oE 'http\S+\.(com|net)' "$work/index.html")
expect_eq "${#sites[@]}" 10 "site links on the start page"
movies=($(grep -oE '(http)\S+\.(avi|mpg|wmv)' "$work/index.html"))
expect_eq "${#movies[@]}" 3 "films on the start page"
for site in "${sites[@]}"; do
    [[ "$site" == "$base"sites/* ]] || fail "site link to elsewhere: $site"
    curl -s "$site" >"$work/site.html"
    expect_eq "$(status "$site")" 200 "$site"
    grep -q "{{BASE}}" "$work/site.html" && fail "$site still holds a {{BASE}} mark"
    movies+=($(grep -oE '(http)\S+\.(avi|mpg|wmv)' "$work/site.html"))
done
kinds=""
for movie in "${movies[@]}"; do
    kind=${movie##*.}
    kinds+=" $kind"
    curl -s "$movie" >"$work/movie"
    cmp -s "$work/movie" "$clips/testsrc.$kind" || fail "$movie is not the $kind test clip"
done
for kind in avi mpg wmv; do
    [[ "$kinds" == *" $kind"* ]] || fail "no .$kind film in the sample"
done
expect_eq "$(header Content-Type "${base}movies/paper-boats.avi")" video/x-msvideo "avi type"
expect_eq "$(header Content-Type "${base}movies/tram-at-dusk.mpg")" video/mpeg "mpg type"
expect_eq "$(header Content-Type "${base}movies/kettle-song.wmv")" video/x-ms-wmv "wmv type"

# --- HEAD: the GET's head without its body.
clip="${base}movies/paper-boats.avi"
size=$(stat -c %s "$clips/testsrc.avi")
expect_eq "$(curl -s -I "$clip" | wc -c | tr -d ' ')" "$(curl -s -D - -o /dev/null "$clip" | wc -c | tr -d ' ')" "HEAD's head"
expect_eq "$(header Content-Length -I "$clip")" "$size" "HEAD's length"
expect_eq "$(curl -s -X HEAD --max-time 5 "$clip" | wc -c | tr -d ' ')" 0 "HEAD's body"

# --- Ranges.
expect_eq "$(status -r 0-9 "$clip")" 206 "first ten bytes"
expect_eq "$(header Content-Range "$clip" -r 0-9)" "bytes 0-9/$size" "their range"
cmp -s <(curl -s -r 0-9 "$clip") <(head -c 10 "$clips/testsrc.avi") || fail "first ten bytes differ"
cmp -s <(curl -s -r -100 "$clip") <(tail -c 100 "$clips/testsrc.avi") || fail "last 100 bytes differ"
cmp -s <(curl -s -r 1000- "$clip") <(tail -c +1001 "$clips/testsrc.avi") || fail "open range differs"
expect_eq "$(curl -s -r 40000-99999999 "$clip" | wc -c | tr -d ' ')" $((size - 40000)) "range past the end"
expect_eq "$(status -r "$size"- "$clip")" 416 "range from the end"
expect_eq "$(header Content-Range "$clip" -r "$size"-)" "bytes */$size" "unsatisfiable range"
expect_eq "$(status -r 0-1,5-6 "$clip")" 200 "several ranges are served whole"
expect_eq "$(status -r 9-2 "$clip")" 200 "backward range is served whole"

# --- Nothing outside the root, however it is spelled.
expect_eq "$(status --path-as-is "${base}../../../../etc/passwd")" 403 "dot segments"
expect_eq "$(status --path-as-is "${base}sites/%2e%2e/%2E%2E/etc/passwd")" 403 "encoded dot segments"
expect_eq "$(status --path-as-is "${base}%2e%2e%2fetc%2fpasswd")" 403 "encoded slashes"
expect_eq "$(status "${base}no-such-page.html")" 404 "missing page"
expect_eq "$(status -X POST "${base}index.html")" 405 "POST"
expect_eq "$(header Allow -X POST "${base}index.html")" "GET, HEAD" "allowed methods"
answer=$(exec 3<>"/dev/tcp/127.0.0.1/$port" && printf 'NONSENSE\r\n\r\n' >&3 && head -n 1 <&3)
expect_eq "${answer%$'\r'}" "HTTP/1.1 400 Bad Request" "malformed request"

# One connection carries several requests.
reused=$(curl -s -v -o /dev/null -o /dev/null "${base}index.html" "${base}style.css" 2>&1 |
    grep -c "Re-using existing connection")
expect_eq "$reused" 1 "connection reuse"

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
start_server --root "$root"
expect_eq "$(status "${base}leak.txt")" 403 "link out of the root"
expect_eq "$(curl -s "${base}alias/")" "<a href=\"${base%/}/inner/\">in</a>" "link inside the root"

# --- The crawler finds the films the sample was written for.
start_server
mapfile -t found < <("$crawler" -n 10 "${base}index.html" 2>/dev/null)
mapfile -t wanted < <(sed "s|^|${base}movies/|" "$expected")
expect_eq "${found[*]}" "${wanted[*]}" "crawl of the sample"

# --- The server goes away by itself.
"$server" --port 0 --seconds 1 >/dev/null &
pids+=($!)
ends_within $! 100 || fail "--seconds 1 did not stop the server"
sleep 600 &
watched=$!
pids+=($watched)
"$server" --port 0 --parent-pid "$watched" >/dev/null &
pids+=($!)
sleep 0.5
kill -0 $! 2>/dev/null || fail "the server stopped while its parent lived"
kill "$watched"
ends_within $! 100 || fail "the server outlived its parent"

# --- Bad arguments are refused with a message.
"$server" --port 70000 >/dev/null 2>&1
expect_eq $? 2 "port out of range"
"$server" --root "$work/none" >/dev/null 2>&1
expect_eq $? 2 "missing root"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "sample web: all checks passed"
