# bash completion for VorskExtract: the options, folders for the operands and, after a leading -locale, the
# languages that the source directory's containers admit.
#
# The command line reads: options that begin with two dashes (a lone "--" ends them), then an optional
# "-locale LOCALE", then the source directory and, for an extraction, the output directory. A "-locale"
# anywhere else is an operand like any other word.

# Reads COMP_WORDS and sets, for the word under the cursor (COMP_CWORD):
#   _vorsk_role      option (an option being typed), jobs, pattern, destination or locale (the value of
#                    that option), operand, or none (nothing can follow)
#   _vorsk_dashes    1 when that option may still be one that begins with two dashes
#   _vorsk_position  the operand's position: 1 for the source directory, 2 for the output directory
#   _vorsk_source    the source directory operand, wherever it stands on the line (also after the cursor)
#   _vorsk_single    1 when a mode that takes the source directory alone (--list, --locales, --test) is given
_VorskExtract_parse() {
    local i word state=dashes operands=0
    _vorsk_role=none
    _vorsk_dashes=0
    _vorsk_position=0
    _vorsk_source=""
    _vorsk_single=0
    for ((i = 1; i < ${#COMP_WORDS[@]}; i++)); do
        word=${COMP_WORDS[i]}
        if ((i == COMP_CWORD)); then
            # An option while options may come and the word starts with a dash, else the next operand.
            if [[ $state == stop ]]; then
                _vorsk_role=none
            elif [[ $state != operands && $word == -* ]]; then
                _vorsk_role=option
                [[ $state == dashes ]] && _vorsk_dashes=1
            else
                state=operands
                operands=$((operands + 1))
                _vorsk_role=operand
                _vorsk_position=$operands
            fi
            continue
        fi
        [[ $state == stop ]] && continue
        if [[ $state == dashes && $word == --* ]]; then
            case $word in
            --) state=locale ;;
            --help | --version) state=stop ;;
            --list | --locales | --test) _vorsk_single=1 ;;
            --include | --exclude | --jobs | --reimport)
                if ((i + 1 == COMP_CWORD)); then
                    _vorsk_role=pattern
                    [[ $word == --jobs ]] && _vorsk_role=jobs
                    [[ $word == --reimport ]] && _vorsk_role=destination
                fi
                ((i++))
                ;;
            esac
            continue
        fi
        if [[ $state != operands && ${word,,} == -locale ]]; then
            ((i + 1 == COMP_CWORD)) && _vorsk_role=locale
            ((i++))
            state=operands
            continue
        fi
        state=operands
        operands=$((operands + 1))
        ((operands == 1)) && _vorsk_source=$word
    done
    return 0
}

_VorskExtract() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    COMPREPLY=()
    _VorskExtract_parse

    case $_vorsk_role in
    locale)
        # The first column of --locales for the source typed on the line, else for the current folder when it
        # holds header libraries. A tool without that option, or a source that cannot be read, prints no
        # tab-separated line, and nothing is offered. A slow disk must not hold the prompt for long.
        local source=$_vorsk_source tool=${COMP_WORDS[0]} limit=() locales
        # A leading ~ is expanded as the shell will expand it.
        [[ $source == "~"* ]] && source=$HOME${source:1}
        [[ $tool == "~"* ]] && tool=$HOME${tool:1}
        if [[ -z $source ]]; then
            local libraries
            libraries=$(shopt -s nocaseglob nullglob && printf '%s' ./*.pc_headerlib)
            [[ -n $libraries ]] && source=.
        fi
        [[ -n $source && -d $source ]] || return 0
        type -P timeout >/dev/null && limit=(timeout 10)
        locales=$("${limit[@]}" "$tool" --locales "$source" 2>/dev/null </dev/null | cut -s -f1)
        mapfile -t COMPREPLY < <(compgen -W "$locales" -- "$cur")
        ;;
    destination)
        # Where --reimport writes: a new folder, or an empty one.
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        ;;
    jobs)
        local processors
        processors=$(getconf _NPROCESSORS_ONLN 2>/dev/null || echo 1)
        ((processors > 32)) && processors=32
        mapfile -t COMPREPLY < <(compgen -W "$(seq 1 "$processors")" -- "$cur")
        ;;
    option)
        local options="-locale"
        ((_vorsk_dashes)) && options="--help --version --list --json --include --exclude --locales --test
            --keep-going --skip-existing --quiet --verbose --jobs --compare --reimport --quick -- -locale"
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        ;;
    operand)
        # The source directory, then the output directory (or the tree of --compare and --reimport), which
        # --list, --locales and --test do not take.
        if ((_vorsk_position == 1 || (_vorsk_position == 2 && !_vorsk_single))); then
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        fi
        ;;
    esac
    return 0
}

complete -F _VorskExtract VorskExtract VorskExtract.exe
