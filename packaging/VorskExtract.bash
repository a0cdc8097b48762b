# bash completion for VorskExtract: the options, folders for the operands and, after -locale, the languages
# that the source directory's containers admit.

# Prints the source directory operand of the command line being completed, when one is there and is a folder.
# The word under the cursor does not count, and neither do options and their values.
_VorskExtract_source() {
    local i word options=1
    for ((i = 1; i < ${#COMP_WORDS[@]}; i++)); do
        word=${COMP_WORDS[i]}
        if ((i == COMP_CWORD)); then
            # The word being completed is no operand, but it may end the options.
            [[ $word == --* ]] || options=0
            continue
        fi
        if ((options)) && [[ $word == --* ]]; then
            case $word in
            --) options=0 ;;
            --include | --exclude | --jobs | --reimport) ((i++)) ;;
            esac
            continue
        fi
        options=0
        if [[ ${word,,} == -locale ]]; then
            ((i++))
            continue
        fi
        # A leading ~ is expanded as the shell will expand it.
        [[ $word == "~"* ]] && word=$HOME${word:1}
        [[ -d $word ]] && printf '%s\n' "$word"
        return
    done
}

_VorskExtract() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=""
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()

    case ${prev,,} in
    -locale)
        # The first column of --locales. A tool without that option, or a source that cannot be read,
        # prints no tab-separated line, and nothing is offered.
        # A slow disk must not hold the prompt for long.
        local source tool=${COMP_WORDS[0]} limit=()
        source=$(_VorskExtract_source)
        [[ $tool == "~"* ]] && tool=$HOME${tool:1}
        type -P timeout >/dev/null && limit=(timeout 10)
        if [[ -n $source ]]; then
            local locales
            locales=$("${limit[@]}" "$tool" --locales "$source" 2>/dev/null </dev/null | cut -s -f1)
            mapfile -t COMPREPLY < <(compgen -W "$locales" -- "$cur")
        fi
        return
        ;;
    --include | --exclude)
        return
        ;;
    --reimport)
        # The destination: a new folder, or an empty one.
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        return
        ;;
    --jobs)
        local processors
        processors=$(getconf _NPROCESSORS_ONLN 2>/dev/null || echo 1)
        ((processors > 32)) && processors=32
        mapfile -t COMPREPLY < <(compgen -W "$(seq 1 "$processors")" -- "$cur")
        return
        ;;
    --help | --version)
        return
        ;;
    esac

    # Options are offered while every word before the cursor is one: options with two dashes (until a lone
    # "--"), then -locale.
    local i word offer=2
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case ${word,,} in
        --) ((offer == 2)) && offer=1 ;;
        --include | --exclude | --jobs | --reimport) ((i++)) ;;
        --help | --version | -locale | [^-]* | "") offer=0 ;;
        esac
        ((offer == 1)) && [[ $word != -- ]] && offer=0
    done
    local options="-locale"
    ((offer == 2)) && options="--help --version --list --json --include --exclude --locales --test
        --keep-going --skip-existing --quiet --verbose --jobs --compare --reimport -- -locale"
    if ((offer)) && [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi

    # The operands are folders.
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -d -- "$cur")
}

complete -F _VorskExtract VorskExtract VorskExtract.exe
