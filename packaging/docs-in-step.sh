#!/usr/bin/env bash
# docs-in-step.sh PROGRAM PAGE COMPLETION: checks that the manual page and the
# bash completion say what PROGRAM --help says. Every option listed in --help
# is named in the tag of an entry of PAGE; the completion offers exactly those
# options; the words it offers for --fit, --units, --format, --delimiter and
# --export are the ones --help names, and the page names every fit and export
# format in bold. Prints each difference and ends with 1 when there is one.
set -uo pipefail

program=$1 page=$2 completion=$3
name=$(basename "$program")
faults=0
fault() {
    echo "$name: $*"
    faults=1
}

# The desktop programs answer --help without a window; no display is needed.
help=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen "$program" --help) || {
    echo "$name --help failed"
    exit 1
}

# The options are the words that open an entry of the help: two blanks, then
# "-x, --name" or "--name".
mapfile -t options < <(grep -E '^  -' <<<"$help" | sed -E 's/^  (-[a-zA-Z], )?(--[a-z][a-z-]*).*/\1\2/' |
    tr -d ',' | tr ' ' '\n' | sort -u)
[ ${#options[@]} -ge 2 ] || fault "found no options in --help"

# The page as text: roff's \- is a hyphen, and font changes are dropped.
text=$(sed -E 's/\\-/-/g; s/\\f[BIRP]//g; s/\\f\(..//g' "$page")
# An entry is a .TP paragraph: its tag is the line after the .TP.
headings=$(awk 'tag { print } { tag = ($0 ~ /^\.TP/) }' <<<"$text")
for option in "${options[@]}"; do
    grep -qE -- "(^|[^a-z-])${option}([^a-z-]|$)" <<<"$headings" || fault "$option has no entry in $page"
done

# The description of an option in --help on one line, without the option
# and its value's name.
describe() {
    awk -v option="$1" '
        /^  -/ { inside = 0 }
        /^  -/ && (index($0, "  " option " ") == 1 || index($0, ", " option " ") > 0) { inside = 1 }
        /^[^ ]/ || /^$/ { inside = 0 }
        inside {
            sub(/^  (-[a-zA-Z], )?--[a-z-]+( [^ ]+)?  +/, "")
            printf "%s ", $0
        }' <<<"$help" | tr -s ' '
}
# The first list such as "nT, uT, mG or G" that opens a description or
# follows a comma or a colon, as words.
listed() {
    grep -oE '(^|[,:] )[A-Za-z-]+(, [A-Za-z-]+)+ or [A-Za-z-]+' | head -n 1 |
        sed -E 's/^[,:] //; s/,//g; s/ or / /' | tr ' ' '\n'
}
# The lines of a section of --help that open with a name, e.g. the fits.
section() {
    awk -v title="$1" 'index($0, title) == 1 { inside = 1; next } /^$/ { inside = 0 }
        inside && /^  [a-z]/ { print $1 }' <<<"$help"
}

complete_function=$(grep -E "^complete -F [_a-z]+ ${name}\$" "$completion" | awk '{ print $3 }')
if [ -z "$complete_function" ]; then
    # Only the programs with options that take values have a completion.
    [ ${#options[@]} -le 4 ] || fault "has no completion in $completion"
    exit $faults
fi
# shellcheck source=tavrin.bash
source "$completion"
completions() {
    COMP_WORDS=("$name" "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    "$complete_function"
    printf '%s\n' "${COMPREPLY[@]}" | sort -u
}
same() {
    local what=$1 expected=$2 offered=$3
    [ "$expected" = "$offered" ] ||
        fault "$what: --help says $(echo $expected), the completion offers $(echo $offered)"
}

same "options" "$(printf '%s\n' "${options[@]}")" "$(completions -)"
for option in --fit --units --delimiter --format --export; do
    [[ " ${options[*]} " == *" $option "* ]] || continue
    case $option in
    --format) expected=$(describe "$option" | grep -oE '[a-z]+ \(' | tr -d ' (') ;;
    --export) expected=$(section "Export formats") ;;
    *) expected=$(describe "$option" | listed) ;;
    esac
    [ -n "$expected" ] || fault "found no values of $option in --help"
    same "$option" "$(sort -u <<<"$expected")" "$(completions "$option" "")"
    if [ "$option" = --fit ] || [ "$option" = --export ]; then
        for value in $expected; do
            grep -qE "^\.BR? ${value}( |\$)" <<<"$text" || fault "$option $value is not named in $page"
        done
    fi
done
[[ " ${options[*]} " == *" --check-export "* ]] &&
    same "--check-export" "$(section "Export formats" | sort -u)" "$(completions --check-export "")"
exit $faults
