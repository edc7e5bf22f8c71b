#!/usr/bin/env bash
# Prepares a demo folder from host/demo: the accounts file, the selection and the canned answers.
#
#   host/make_demo.sh DEST
#
# DEST gets antigravity_accounts.json, selected_account.txt and answers/ (for the stand-in quota
# tool). The answer files in host/demo are templates: every "@@+N<unit>@@" (unit m, h or d) is
# replaced by the UTC time N minutes, hours or days from now, as "YYYY-MM-DDTHH:MM:SSZ", so the
# reset times always lie in the future when the demo runs. DEST is created if needed; files
# already there are overwritten.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_dir="$here/demo"

if [[ $# -ne 1 || -z "$1" ]]; then
    echo "usage: $0 DEST" >&2
    exit 2
fi
dest="$1"

# One clock reading for every token, so times of one run agree with each other.
now="$(date -u +%s)"

render_template() {
    local text token amount unit seconds when
    text="$(<"$1")"
    while [[ "$text" =~ @@\+([0-9]+)([mhd])@@ ]]; do
        token="${BASH_REMATCH[0]}"
        amount="${BASH_REMATCH[1]}"
        unit="${BASH_REMATCH[2]}"
        case "$unit" in
            m) seconds=$((amount * 60)) ;;
            h) seconds=$((amount * 3600)) ;;
            d) seconds=$((amount * 86400)) ;;
        esac
        when="$(date -u -d "@$((now + seconds))" +%Y-%m-%dT%H:%M:%SZ)"
        text="${text//"$token"/"$when"}"
    done
    printf '%s\n' "$text" >"$2"
}

mkdir -p "$dest/answers"
cp "$source_dir/antigravity_accounts.json" "$source_dir/selected_account.txt" "$dest/"
for template in "$source_dir"/answers/*.json; do
    render_template "$template" "$dest/answers/$(basename "$template")"
done
for behave in "$source_dir"/answers/*.behave; do
    [[ -e "$behave" ]] && cp "$behave" "$dest/answers/"
done
