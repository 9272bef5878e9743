#!/usr/bin/env bash
# No tracked file names a host of a package registry: the scripts take their
# package sources from the machine's apt configuration, so that they work
# behind whatever mirror a machine uses. The pattern is assembled from parts
# so that this file does not name a host itself; it is first checked against
# made-up lines, so that a pattern that matches nothing cannot pass.
#   scripts/tests/hosts-test.sh [TREE]     (default: this repository)
set -euo pipefail
# shellcheck source=../lib/common.sh
. "$(dirname "$0")/../lib/common.sh"
script_args 1 "$@"
tree=${1:-$(cd "$(dirname "$0")/../.." && pwd)}

dot='\.'
debian="debian${dot}org" ubuntu="ubuntu${dot}com"
hosts=(
    "(deb|ftp|http|httpredir|security|snapshot|cdn-fastly${dot}deb|incoming|archive)${dot}${debian}"
    "ftp${dot}[a-z]{2}${dot}${debian}"
    "([a-z]{2}${dot})?(archive|security|ports|old-releases)${dot}${ubuntu}"
    "registry${dot}(npmjs${dot}org|yarnpkg${dot}com)"
    "(pypi${dot}org|files${dot}pythonhosted${dot}org|pypi${dot}python${dot}org)"
    "(static${dot})?crates${dot}io"
    "proxy${dot}golang${dot}org"
    "repo1?${dot}maven${dot}org"
    "(api${dot})?nuget${dot}org"
    "rubygems${dot}org"
    "(packages${dot}cloud${dot}google${dot}com|deb${dot}nodesource${dot}com)"
)
pattern="(^|[^A-Za-z0-9.-])($(
    IFS='|'
    echo "${hosts[*]}"
))"

# The pattern finds what it must and leaves what it must: a page of the
# distribution's site is no registry.
d=debian o=org u=ubuntu c=com
for line in "URIs: http://deb.$d.$o/$d" "deb http://ftp.de.$d.$o/$d bookworm main" \
    "http://security.$d.$o/$d-security" "https://registry.npmjs.$o/" "https://pypi.$o/simple" \
    "http://archive.$u.$c/$u" "http://de.archive.$u.$c/$u"; do
    grep -qE "$pattern" <<<"$line" || fail "the pattern misses '$line'"
done
for line in "Format: https://www.$d.$o/doc/packaging-manuals/copyright-format/1.0/" \
    "http://deb.example/debian" "my-deb.$d.$o.example"; do
    ! grep -qE "$pattern" <<<"$line" || fail "the pattern takes '$line' for a registry"
done

cd "$tree"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    found=$(git ls-files -z | xargs -0 grep -nIE "$pattern" -- 2>/dev/null || true)
else
    found=$(find . -path ./.git -prune -o -path './build*' -prune -o -type f -print0 |
        xargs -0 grep -nIE "$pattern" -- 2>/dev/null || true)
fi
if [ -n "$found" ]; then
    echo "$found"
    fail "tracked files name a package registry's host (above); take the sources from apt"
fi
echo "hosts-test: no tracked file names a package registry's host"
