# bash completion for tavrin-cli and tavrin-workbench: options, the values
# of the options that take a word from a list, and files. It needs nothing
# of the bash-completion package's helpers, so that the tests can source it
# in a plain bash. -*- shell-script -*-

# The words an option takes: the programs' own lists, which the tests
# compare with their --help.
_tavrin_values()
{
    case $1 in
    --fit) echo "exact full diagonal sphere planar auto" ;;
    --export | --check-export) echo "c ardupilot px4 matlab inav betaflight sensor-json" ;;
    --units) echo "nT uT mG G" ;;
    --format) echo "auto raw uni xyz labelled" ;;
    --delimiter) echo "comma semicolon tab space" ;;
    esac
}

_tavrin_cli_options="-h --help -v --version --hm --hm-at --units --date --field-at
    --columns --accel-columns --accel-up --accel-down --align --delimiter --decimal-comma --skip-bad-lines --rows
    --port --baud --format --points --seconds --until-covered --record --record-lines
    --fit -o --output --apply --json --export --compass --device-id --system-id --component-id --merge --check-export --uncertainty --plot"
_tavrin_workbench_options="-h --help -v --version --hm --units --hm-at --date
    --columns --decimal-comma --skip-bad-lines --fit --port"

# _tavrin_complete OPTIONS VALUELESS: fills COMPREPLY for the word under the
# cursor. VALUELESS lists the options that take no value.
_tavrin_complete()
{
    local options=$1 valueless=$2
    local cur=${COMP_WORDS[COMP_CWORD]} prev=""
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    # bash splits --fit=auto at the '=': the option is the word before it.
    if [[ $cur == "=" ]]; then
        cur=""
    fi
    if [[ $prev == "=" ]] && ((COMP_CWORD > 1)); then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi
    COMPREPLY=()

    if [[ $prev == -* && " $options " == *" $prev "* && " $valueless " != *" $prev "* ]]; then
        local words
        words=$(_tavrin_values "$prev")
        if [[ -n $words ]]; then
            mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
            return
        fi
        case $prev in
        --port)
            mapfile -t COMPREPLY < <(compgen -W "- tcp://" -- "$cur"
                compgen -G "${cur:-/dev/tty}*" | grep -E '^/dev/(ttyUSB|ttyACM|ttyS|rfcomm|pts/)')
            [[ ${#COMPREPLY[@]} -eq 0 ]] && mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            ;;
        -o | --output | --apply | --plot | --record | --record-lines)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            ;;
        esac
        # Other values are numbers, places, dates or columns: nothing to offer.
        return
    fi

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}

_tavrin_cli()
{
    _tavrin_complete "$_tavrin_cli_options" "-h --help -v --version --accel-up --accel-down --align --decimal-comma
        --skip-bad-lines --until-covered --json --uncertainty"
}

_tavrin_workbench()
{
    _tavrin_complete "$_tavrin_workbench_options" "-h --help -v --version --decimal-comma --skip-bad-lines"
}

complete -F _tavrin_cli tavrin-cli
complete -F _tavrin_workbench tavrin-workbench
