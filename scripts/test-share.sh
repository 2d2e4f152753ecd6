#!/usr/bin/env bash
# How big the C++ tests are next to the C++ code they test, counted the way
# the project always has: lines that are neither blank nor a "//" comment.
# Tests are every .cpp/.h under tests/; code is every other .cpp/.h outside
# tests/, tools/, bench/ and fuzz/. The integration scripts under tests/
# (Python and shell, "#" comments left out) are reported beside the share,
# not in it.
# Only tracked files count, so a build folder inside the tree changes nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
    local pattern=$1; shift
    git ls-files -z -- "$@" | xargs -0 -r cat -- | grep -cEv "$pattern" || true
}

cpp_lines='^[[:space:]]*(//.*)?$'
script_lines='^[[:space:]]*(#.*)?$'

tests=$(count "$cpp_lines" 'tests/*.cpp' 'tests/*.h')
code=$(count "$cpp_lines" '*.cpp' '*.h' ':!tests/' ':!tools/' ':!bench/' ':!fuzz/')
py=$(count "$script_lines" 'tests/*.py')
sh=$(count "$script_lines" 'tests/*.sh')

awk -v t="$tests" -v c="$code" -v py="$py" -v sh="$sh" 'BEGIN {
    printf "Test share: C++ tests are %.1f %% of the C++ code they test (%d / %d lines)\n", c ? 100 * t / c : 0, t, c
    printf "Integration scripts beside them: %d Python + %d shell lines (%.1f %% counted with the C++ tests)\n", py, sh, c ? 100 * (t + py + sh) / c : 0
}'
