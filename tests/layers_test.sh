#!/bin/sh
# Every #include of the daemon's sources runs downward through the layers:
# runtime > events > commands > groups, storage > base, bot_state.hpp.
# groups and storage stand side by side and include neither each other.
# Prints each include that breaks the rule; exits 1 when there is one.
# Usage: layers_test.sh SOURCE_DIR (the top of the checkout)
set -u
src="$1/src"

rank() {
    case "$1" in
    runtime) echo 5 ;;
    events) echo 4 ;;
    commands) echo 3 ;;
    groups | storage) echo 2 ;;
    base) echo 1 ;;
    *) echo 0 ;;
    esac
}

status=0
for file in $(cd "$src" && find . -name '*.cpp' -o -name '*.hpp' | sed 's|^\./||' | sort); do
    from="${file%%/*}"
    # bot_state.* and version.hpp sit at the top of src/ but belong with base.
    [ "$from" = "$file" ] && from=base
    from_rank="$(rank "$from")"
    for included in $(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$src/$file"); do
        to="${included%%/*}"
        [ "$to" = "$included" ] && to=base
        to_rank="$(rank "$to")"
        if [ "$to" = "$from" ]; then
            continue
        fi
        if [ "$to_rank" -eq 0 ] || [ "$to_rank" -ge "$from_rank" ]; then
            echo "src/$file includes $included: $from may include only layers below it" >&2
            status=1
        fi
    done
done
exit "$status"
