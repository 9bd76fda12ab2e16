#!/usr/bin/env bash
# `php -l` on every page of the shop: a page that does not parse stops the whole shop on the server.
# Run: bash tests/store/php-lint.sh   (or ctest -L web in the build folder)
set -uo pipefail

source_dir="${KIOSK_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}"
passed=0
failed=0
shopt -s nullglob
pages=("$source_dir"/store/*.php)
if [ ${#pages[@]} -eq 0 ]; then
    echo "no pages found in $source_dir/store"
    exit 1
fi
for page in "${pages[@]}"; do
    if output=$(php -n -d display_errors=1 -l "$page" 2>&1); then
        passed=$((passed + 1))
        echo "ok - ${page#"$source_dir"/}"
    else
        failed=$((failed + 1))
        echo "not ok - ${page#"$source_dir"/}: $output"
    fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
