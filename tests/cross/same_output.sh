#!/usr/bin/env bash
# Runs the Linux and the Windows executables on the same requests and files and requires their
# standard output to be identical, byte for byte.
#
#   tests/cross/same_output.sh <linux-build-dir> <windows-build-dir>
#
# Each build directory holds plugin_brelvane and brelvane-standin (with ".exe" for Windows).
# The Windows program runs under wine; start a persistent wine server first to save seconds.
# Both programs run in their own copy of one folder and name every file by a relative path,
# so paths print the same on both systems; only the tool path differs, and it is not printed.
set -euo pipefail

if [[ $# -ne 2 ]]; then
    echo "usage: $0 <linux-build-dir> <windows-build-dir>" >&2
    exit 2
fi
linux_dir=$(cd "$1" && pwd)
windows_dir=$(cd "$2" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
fixtures=$source_dir/tests/quota/fixtures
for needed in "$linux_dir/plugin_brelvane" "$linux_dir/brelvane-standin" \
              "$windows_dir/plugin_brelvane.exe" "$windows_dir/brelvane-standin.exe"; do
    [[ -f $needed ]] || { echo "same_output.sh: missing $needed" >&2; exit 2; }
done
export WINEDEBUG=-all

work=$(mktemp -d "${TMPDIR:-/tmp}/brelvane-same-output.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The node folder both programs start from.
node=$work/node
mkdir -p "$node/answers" "$node/bin" "$node/sub"
cat > "$node/antigravity_accounts.json" <<'JSON'
[{"email":"full@x","refresh_token":"t"},{"email":"argon@x"},{"email":"spent@x"},
 {"email":"fails@x","refresh_token":""},{"email":"edges@x"},{"email":"logs@x"},
 {"email":"bad address"},{"email":"full@x"}]
JSON
printf 'argon@x\r\n' > "$node/selected_account.txt"
cp "$node/antigravity_accounts.json" "$node/sub/antigravity_accounts.json"
cp "$fixtures/full_answer.json" "$node/answers/full@x.json"
cp "$fixtures/argon_model.json" "$node/answers/argon@x.json"
cp "$fixtures/exhausted_pool.json" "$node/answers/spent@x.json"
cp "$fixtures/failure_answer.json" "$node/answers/fails@x.json"
printf 'exit 3\n' > "$node/answers/fails@x.behave"
cp "$fixtures/log_lines_before.txt" "$node/answers/logs@x.json"
# Percentages on and near the halfway point of two decimals, tiny and almost whole fractions.
{
    printf '{"ok":true,"project":"edges","buckets":['
    first=1
    for fraction in 0.00125 0.00625 0.01125 0.02625 0.00375 0.5 0.333333 0.6666666 0.999995 \
                    0.0000001 1e-9 0 1; do
        [[ $first -eq 1 ]] || printf ','
        first=0
        printf '{"modelId":"gemini-edge-%s","remainingFraction":%s,' "$fraction" "$fraction"
        printf '"resetTime":"2024-02-29T23:59:59Z"}'
    done
    printf ']}\n'
} > "$node/answers/edges@x.json"
printf '{"ok":true,"project":"slow","buckets":[]}\n' > "$node/answers/slow@x.json"
printf 'hang\n' > "$node/answers/slow@x.behave"
printf '{"ok":true}\n' > "$node/answers/gone@x.json"
printf 'exit 127\n' > "$node/answers/gone@x.behave"
printf '[{"email":"slow@x"}]' > "$node/slow.json"
printf '[{"email":"gone@x"}]' > "$node/gone.json"
printf '{"account":"spent@x"}' > "$work/body.json"
printf '{"email":"full@x"}\r\n' > "$node/posted.json"

for side in linux windows; do
    cp -r "$node" "$work/$side"
done
cp "$linux_dir/brelvane-standin" "$work/linux/bin/brelvane-standin"
cp "$windows_dir/brelvane-standin.exe" "$work/windows/bin/brelvane-standin.exe"

failures=0
cases=0

# run_case NAME STDIN_FILE ARGS... -- VAR=VALUE...
run_case() {
    local name=$1 input=$2
    shift 2
    local args=()
    while [[ $# -gt 0 && $1 != -- ]]; do args+=("$1"); shift; done
    [[ $# -gt 0 ]] && shift
    local common=(GOOGLE_ACCOUNTS_FILE=antigravity_accounts.json BRELVANE_STANDIN_DIR=answers
                  BRELVANE_TIMEOUT=1 "$@")
    (cd "$work/linux" && env -i PATH=/usr/bin:/bin BRELVANE_BIN=bin/brelvane-standin \
        "${common[@]}" "$linux_dir/plugin_brelvane" "${args[@]}" \
        < "$input" > "$work/out.linux" 2>/dev/null) || true
    (cd "$work/windows" && env -i PATH="$PATH" HOME="$HOME" WINEDEBUG=-all \
        ${WINEPREFIX:+WINEPREFIX="$WINEPREFIX"} BRELVANE_BIN='bin\brelvane-standin.exe' \
        "${common[@]}" wine "$windows_dir/plugin_brelvane.exe" "${args[@]}" \
        < "$input" > "$work/out.windows" 2>/dev/null) || true
    cases=$((cases + 1))
    if cmp -s "$work/out.linux" "$work/out.windows" && [[ -s $work/out.linux ]]; then
        return
    fi
    failures=$((failures + 1))
    echo "DIFFERENT: $name"
    cmp "$work/out.linux" "$work/out.windows" || true
    diff <(od -c "$work/out.linux" | head -40) <(od -c "$work/out.windows" | head -40) || true
}

none=/dev/null
run_case "version" $none --version
run_case "short version" $none -v
run_case "catalogue line" $none --meta
run_case "catalogue by variable" $none -- ZQ_PLUGIN_META=
run_case "page" $none
run_case "page, embedded and dark" $none -- "QUERY_STRING=theme=dark&embed=1"
run_case "password refused" $none -- BOT_PASSWORD=s QUERY_STRING=action=status
run_case "password by header" $none -- BOT_PASSWORD=s HTTP_X_BOT_PASSWORD=s QUERY_STRING=action=status
run_case "password by bearer" $none -- BOT_PASSWORD=s "HTTP_AUTHORIZATION=bearer s" \
    QUERY_STRING=format=html
run_case "status" $none -- QUERY_STRING=action=status
run_case "status, tool missing" $none -- QUERY_STRING=action=status BRELVANE_BIN=bin/absent
run_case "status, slashed paths" $none -- QUERY_STRING=action=status \
    GOOGLE_ACCOUNTS_FILE=sub/antigravity_accounts.json
run_case "unknown action" $none -- "QUERY_STRING=action=nope&x=%41"
run_case "switch by query" $none -- "QUERY_STRING=action=switch&account=full%40x"
run_case "status after switch" $none -- QUERY_STRING=action=status
run_case "switch by body" "$work/body.json" -- QUERY_STRING=action=switch CONTENT_LENGTH=21
run_case "switch by body file" $none -- QUERY_STRING=action=switch CONTENT_LENGTH=9999 \
    POST_BODY_FILE=posted.json
run_case "switch, missing account" $none -- "QUERY_STRING=action=switch&account="
run_case "switch, invalid account" $none -- "QUERY_STRING=action=switch&account=a+b@x"
run_case "switch, unknown account" $none -- "QUERY_STRING=action=switch&email=zz@x"
run_case "switch, folder missing" $none -- "QUERY_STRING=action=switch&account=full@x" \
    GOOGLE_SELECTED_FILE=missing/selected_account.txt
run_case "quota, one account" $none -- "QUERY_STRING=action=quota&account=full%40x"
run_case "quota, numbers at the edges" $none -- "QUERY_STRING=action=quota&account=edges@x"
run_case "quota, every account" $none -- QUERY_STRING=format=json
run_case "quota, unknown account" $none -- "QUERY_STRING=action=quota&account=nobody@x"
run_case "quota, tool missing" $none -- QUERY_STRING=action=quota BRELVANE_BIN=bin/absent
run_case "quota, tool not found by the shell" $none -- \
    "QUERY_STRING=action=quota&account=gone@x" \
    GOOGLE_ACCOUNTS_FILE=gone.json
run_case "quota, time limit" $none -- "QUERY_STRING=action=quota&account=slow@x" \
    GOOGLE_ACCOUNTS_FILE=slow.json

echo "same_output.sh: $cases requests, $failures with different output"
[[ $failures -eq 0 ]]
