# bash completion for kvset: commands, their options, the format words, and
# file names for everything else.
_kvset()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local commands="show validate json build diff convert scan demo"
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi
    case $prev in
        --format)
            if [ "${COMP_WORDS[1]}" = build ]; then
                COMPREPLY=($(compgen -W "memory file" -- "$cur"))
            else
                COMPREPLY=($(compgen -W "auto memory file" -- "$cur"))
            fi
            return ;;
        --offset | --length | --max-elements) COMPREPLY=(); return ;;
        --to) COMPREPLY=($(compgen -W "memory file" -- "$cur")); return ;;
    esac
    local options="--help"
    case ${COMP_WORDS[1]} in
        show) options+=" --offsets --format --strict --offset --length --max-elements" ;;
        validate) options+=" --format --offset --length" ;;
        diff) options+=" --format" ;;
        json) options+=" -o --output --format --strict --compact --offset --length" ;;
        build) options+=" -o --output --format" ;;
        scan) options+=" --hex --json --extract" ;;
        convert) options+=" -o --output --to --format" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    elif [ "${COMP_WORDS[1]}" = demo ] || [ "$prev" = --extract ]; then
        COMPREPLY=($(compgen -d -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
complete -o filenames -F _kvset kvset
