#!/usr/bin/env bash
# The plug-in served by lighttpd and driven with curl: password gate, status, switch, quota, hub.
#
#   tests/host/lighttpd_test.sh BUILD_DIR
#
# BUILD_DIR holds plugin_brelvane and brelvane-standin. Exits 77 (skipped) when lighttpd or curl
# is missing, 1 when any check fails. The server always stops, whatever happens.
set -euo pipefail

[[ $# -eq 1 ]] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
# Debian installs lighttpd in /usr/sbin, which a normal user's PATH often lacks.
export PATH="$PATH:/usr/sbin:/sbin"
for tool in lighttpd curl; do
    if ! command -v "$tool" >/dev/null; then
        echo "skipped: $tool is not installed (tools/install-deps.sh)"
        exit 77
    fi
done

work="$(mktemp -d)"
export BUILD_DIR="$1" SERVER_DIR="$work/server" DEMO_DIR="$work/demo" SERVER_PORT=0
export STANDIN_LOG="$work/standin.log"
# Bytes that matter on the way through headers, the query and the CGI environment.
export NODE_PASSWORD='n0de pass"word$1'
pwd_query='n0de%20pass%22word%241'
# Short enough to see a hung tool cut off, long enough for the demo answers' own delays.
export BRELVANE_TIMEOUT=4

cleanup() {
    "$repo/host/server.sh" stop || true
    rm -rf "$work"
}
trap cleanup EXIT

"$repo/host/make_demo.sh" "$DEMO_DIR"
printf 'hang\n' >>"$DEMO_DIR/answers/night.shift@example.com.behave"
mkdir -p "$SERVER_DIR/www"
printf 'static page\n' >"$SERVER_DIR/www/probe.txt"
port="$("$repo/host/server.sh" start)"
base="http://127.0.0.1:$port"
version="$("$BUILD_DIR/plugin_brelvane" --version)"
version="${version#plugin_brelvane }"

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "ok - $1"; }
fail() { failed=$((failed + 1)); echo "not ok - $1: $2"; }

# request PATH [curl options...]: fills $status, $work/headers and $work/body.
request() {
    local path="$1"
    shift
    status="$(curl --noproxy '*' -s --max-time 30 -D "$work/headers" -o "$work/body" \
        -w '%{http_code}' "$@" "$base$path")" || status="curl-failed"
}
with_password=(-H "X-Bot-Password: $NODE_PASSWORD")

expect_status() {
    if [[ "$status" == "$2" ]]; then pass "$1: status $2"; else fail "$1" "status $status, want $2"; fi
}
expect_body() {
    if cmp -s "$work/body" <(printf '%s' "$2"); then
        pass "$1: body"
    else
        fail "$1" "body differs: $(head -c 300 "$work/body")"
    fi
}
expect_body_has() {
    if grep -qF -- "$2" "$work/body"; then pass "$1: has $2"; else fail "$1" "no $2 in body"; fi
}
expect_header() {
    if grep -qixF -- "$2"$'\r' "$work/headers"; then pass "$1: $2"; else fail "$1" "no header $2"; fi
}
expect_no_header() {
    if grep -qi -- "^$2:" "$work/headers"; then fail "$1" "unexpected header $2"; else pass "$1: no $2"; fi
}
expect_file() {
    if cmp -s "$2" <(printf '%s' "$3"); then pass "$1"; else fail "$1" "$2 holds $(od -c "$2" | head -3)"; fi
}

accounts_json() {
    local selected="$1" email refresh out="" sep=""
    for email in ops.main@example.com research.team+gpu@example.com night.shift@example.com \
        intern.sandbox@example.com backup.billing@example.com; do
        refresh=true
        [[ "$email" != intern.sandbox@example.com ]] || refresh=false
        out+="$sep{\"email\":\"$email\",\"has_refresh\":$refresh,\"selected\":"
        if [[ "$email" == "$selected" ]]; then out+="true}"; else out+="false}"; fi
        sep=","
    done
    printf '%s' "$out"
}
status_document() {
    printf '{"ok":true,"plugin":"plugin_brelvane","version":"%s","selected":"%s",' "$version" "$1"
    printf '"accounts_path":"%s","selected_path":"%s",' \
        "$DEMO_DIR/antigravity_accounts.json" "$DEMO_DIR/selected_account.txt"
    printf '"cli_present":true,"count":5,"accounts":[%s]}\n' "$(accounts_json "$1")"
}
refusal=$'{"ok":false,"error":"invalid node password"}\n'

# The node password, each way a client may give it.
request "/plugin_brelvane?action=status" "${with_password[@]}"
expect_status "status with X-Bot-Password" 200
expect_header "status with X-Bot-Password" "Content-Type: application/json; charset=utf-8"
expect_body "status with X-Bot-Password" "$(status_document ops.main@example.com)"$'\n'

request "/plugin_brelvane?action=status" -H "Authorization: Bearer $NODE_PASSWORD"
expect_status "status with Authorization Bearer" 200
expect_body "status with Authorization Bearer" "$(status_document ops.main@example.com)"$'\n'

request "/plugin_brelvane?action=status&pwd=$pwd_query"
expect_status "status with pwd in the query" 200

request "/plugin_brelvane?action=status"
expect_status "status without password" 401
expect_header "status without password" "Content-Type: application/json; charset=utf-8"
expect_no_header "status without password" "X-Content-Type-Options"
expect_body "status without password" "$refusal"

request "/plugin_brelvane?action=status" -H "X-Bot-Password: ${NODE_PASSWORD}x"
expect_status "status with a wrong password" 401
expect_body "status with a wrong password" "$refusal"

request "/plugin_brelvane" -H "Authorization: Basic $NODE_PASSWORD"
expect_status "page with a Basic credential" 401

# The page itself, behind the same gate.
request "/plugin_brelvane" "${with_password[@]}"
expect_status "dashboard page" 200
expect_header "dashboard page" "Content-Type: text/html; charset=utf-8"
expect_body_has "dashboard page" "<html"

# Switch with a posted JSON body: the body reaches the plug-in on stdin.
request "/plugin_brelvane?action=switch" "${with_password[@]}" \
    -H "Content-Type: application/json" --data-binary '{"account":"night.shift@example.com"}'
expect_status "switch by posted body" 200
expect_body "switch by posted body" $'{"ok":true,"selected":"night.shift@example.com"}\n'
expect_file "switch writes the address and one LF" "$DEMO_DIR/selected_account.txt" \
    $'night.shift@example.com\n'
request "/plugin_brelvane?action=status" "${with_password[@]}"
expect_body "status after switch" "$(status_document night.shift@example.com)"$'\n'

request "/plugin_brelvane?action=switch" "${with_password[@]}" \
    --data-binary '{"account":"nobody@example.com"}'
expect_status "switch to an unknown account" 404
expect_body_has "switch to an unknown account" '"error":"unknown_account"'
expect_file "unknown account leaves the selection" "$DEMO_DIR/selected_account.txt" \
    $'night.shift@example.com\n'

request "/plugin_brelvane?action=switch" --data-binary '{"account":"ops.main@example.com"}'
expect_status "switch without password" 401
expect_file "refused switch leaves the selection" "$DEMO_DIR/selected_account.txt" \
    $'night.shift@example.com\n'

# Hub mode: the same executable behind /plugins, the query passed through whole.
request "/plugins?node=bot1&plugin=brelvane&action=switch&account=ops.main%40example.com" \
    "${with_password[@]}"
expect_status "hub switch by query" 200
expect_file "hub switch writes the selection" "$DEMO_DIR/selected_account.txt" \
    $'ops.main@example.com\n'
request "/plugins?plugin=brelvane&action=status&id=7" "${with_password[@]}"
expect_status "hub status" 200
expect_body "hub status" "$(status_document ops.main@example.com)"$'\n'
request "/plugins?plugin=brelvane&action=status"
expect_status "hub without password" 401
request "/plugins?plugin=other&action=status" "${with_password[@]}"
expect_status "hub for another plug-in" 404

# Quota for one account runs the stand-in tool with the environment the plug-in prepares.
: >"$STANDIN_LOG"
request "/plugin_brelvane?action=quota&account=ops.main%40example.com" "${with_password[@]}"
expect_status "quota for one account" 200
expect_body_has "quota for one account" \
    '"account":{"email":"ops.main@example.com","selected":true,"has_refresh":true,"ok":true,"project":"ops-main-4821"'
expect_body_has "quota for one account" '"gemini":{"pct":82.00,"exhausted":false'
expect_body_has "quota for one account" '"argon":{"pct":61.00,"exhausted":false'
expect_body_has "quota for one account" '"claude":{"pct":38.00,"exhausted":false'
expect_body_has "quota for one account" '"five_hour":{"bucket_id":"3p-5h","pct":38.00'
tool_call="$(printf '{"argv":["--account","ops.main@example.com","--json"],"env":{%s%s%s}}' \
    '"ACTIVE_PROFILE":null,"GOOGLE_ACCESS_TOKEN":null,"GOOGLE_REMOTE_URL":null,' \
    '"GOOGLE_PROJECT_ID":null,"GOOGLE_ACCOUNT":null,"GOOGLE_TOKEN_SOURCE":"local",' \
    "\"GOOGLE_ACCOUNTS_FILE\":\"$DEMO_DIR/antigravity_accounts.json\"")"
expect_file "the tool ran once with the prepared environment" "$STANDIN_LOG" "$tool_call"$'\n'

request "/plugin_brelvane?action=quota&account=backup.billing%40example.com" "${with_password[@]}"
expect_status "quota for a failing account" 200
expect_body_has "quota for a failing account" '"ok":false,"error":"token expired"}'

# A tool that never ends is cut off after BRELVANE_TIMEOUT, which the server passes on.
started=$SECONDS
request "/plugin_brelvane?action=quota&account=night.shift%40example.com" "${with_password[@]}"
expect_status "quota for a hung tool" 200
expect_body_has "quota for a hung tool" '"ok":false,"error":"quota_timeout"'
if ((SECONDS - started < 15)); then
    pass "hung tool answered in $((SECONDS - started)) s"
else
    fail "hung tool" "took $((SECONDS - started)) s"
fi

# The dashboard keeps several quota requests in flight; each is its own CGI process.
pids=()
accounts=(ops.main research.team+gpu intern.sandbox backup.billing)
for name in "${accounts[@]}"; do
    curl --noproxy '*' -s --max-time 30 -o "$work/parallel.$name" "${with_password[@]}" \
        "$base/plugin_brelvane?action=quota&account=${name/+/%2B}%40example.com" &
    pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid" || true; done
for name in "${accounts[@]}"; do
    want='"ok":true,"project"'
    [[ "$name" != backup.billing ]] || want='"ok":false,"error":"token expired"'
    if grep -qF "\"account\":{\"email\":\"$name@example.com\"" "$work/parallel.$name" &&
        grep -qF "$want" "$work/parallel.$name"; then
        pass "parallel quota for $name"
    else
        fail "parallel quota for $name" "$(head -c 200 "$work/parallel.$name" 2>/dev/null)"
    fi
done

# Everything else is static.
request "/probe.txt"
expect_status "static file" 200
expect_body "static file" $'static page\n'

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
