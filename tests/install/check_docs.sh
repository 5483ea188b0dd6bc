#!/usr/bin/env bash
# The README and the documents it promises exist, and every relative link or
# image in them points at a file of the repository.
set -euo pipefail
src=$1
cd "$src"
status=0
for doc in docs/parameters.md docs/integration.md docs/performance.md; do
  [ -s "$doc" ] || { echo "check_docs: $doc is missing" >&2; status=1; }
  grep -q "($doc)" README.md || { echo "check_docs: README.md does not link $doc" >&2; status=1; }
done
for md in README.md docs/*.md; do
  dir=$(dirname "$md")
  # ](target) of links and images; external links and anchors are skipped.
  while IFS= read -r target; do
    path=${target%%#*}
    [ -z "$path" ] && continue
    case "$path" in http://*|https://*|mailto:*) continue ;; esac
    [ -e "$dir/$path" ] || { echo "check_docs: $md links to missing $target" >&2; status=1; }
  done < <(grep -o '](\([^)]*\))' "$md" | sed 's/^](\(.*\))$/\1/')
done
exit $status
