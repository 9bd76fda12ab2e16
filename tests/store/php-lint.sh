#!/usr/bin/env bash
# `php -l` on every page of the shop: a page that does not parse stops the whole shop on the server.
# Run: bash tests/store/php-lint.sh   (or ctest -L web in the build folder)
set -uo pipefail

source_dir="${KIOSK_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}"
failed=0
shopt -s nullglob
pages=("$source_dir"/store/*.php)
[ ${#pages[@]} -gt 0 ] || { echo "no pages found in $source_dir/store"; exit 1; }
for page in "${pages[@]}"; do
    php -n -d display_errors=1 -l "$page" || failed=$((failed + 1))
done
echo "${#pages[@]} pages, $failed failed"
[ "$failed" -eq 0 ]
