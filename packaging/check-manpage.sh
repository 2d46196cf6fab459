#!/usr/bin/env bash
# A built man page is its committed page with the .TH line dated and versioned.
#   bash packaging/check-manpage.sh BUILT SOURCE VERSION DATE
set -euo pipefail
built=$1 source=$2 version=$3 date=$4
title=$(basename "$source" .1 | tr '[:lower:]' '[:upper:]')
want=".TH $title 1 \"$date\" \"zorvedit $version\" \"User Commands\""
[ "$(head -1 "$built")" = "$want" ] || { echo "$built: '$(head -1 "$built")', not '$want'" >&2; exit 1; }
diff <(sed 1d "$source") <(sed 1d "$built") || { echo "$built: more than its .TH line changed" >&2; exit 1; }
echo "$built: $want"
