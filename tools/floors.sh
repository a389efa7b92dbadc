#!/usr/bin/env bash
# Lists every include of the product that does not point down a floor:
#   app/ > dialogs/, clients/ > ui/ > core/   (res/ holds resources any floor may name)
# Prints nothing and exits 0 when there is none.
set -euo pipefail
cd "$(dirname "$0")/.."
floor() {
    case "$1" in
    app) echo 3 ;; dialogs | clients) echo 2 ;; ui) echo 1 ;; core) echo 0 ;; *) echo -1 ;;
    esac
}
status=0
while IFS=: read -r file _ line; do
    from="${file%%/*}"
    to="$(sed -E 's/^#include "([a-z]+)\/.*/\1/' <<<"$line")"
    [ "$to" = res ] && continue
    [ "$from" = "$to" ] && continue
    if (($(floor "$to") >= $(floor "$from"))); then
        echo "$file: $line"
        status=1
    fi
done < <(grep -rn '^#include "[a-z]*/' app dialogs clients ui core)
exit $status
