#!/usr/bin/env bash
# Fails when a unit includes a header of a layer above its own (platform/ <- device/ <- carving/ <- shell/),
# or when one above platform/ includes the window toolkit's headers, which only the window runtime's
# backend may use.
set -u
root=${1:?usage: layers_check.sh SOURCE_ROOT}
status=0
forbid() {
    local layer=$1
    shift
    for above in "$@"; do
        if grep -rn --include='*.h' --include='*.cpp' "#include \"$above/" "$root/$layer"; then
            echo "$layer/ must not include $above/" >&2
            status=1
        fi
    done
}
forbid platform device carving shell
forbid device carving shell
forbid carving shell
for layer in device carving shell; do
    if grep -rn --include='*.h' --include='*.cpp' -E '#include (<Q[A-Za-z]+>|"platform/window_runtime_qt.h")' "$root/$layer"; then
        echo "$layer/ must not include the window toolkit's headers" >&2
        status=1
    fi
done
# The system sees the window runtime through headers that name no toolkit.
for header in "$root"/platform/*.h; do
    case "$header" in *_qt.h) continue ;; esac
    if grep -n -E '#include <Q[A-Za-z]+>' "$header"; then
        echo "$header must not include the window toolkit's headers" >&2
        status=1
    fi
done
exit $status
