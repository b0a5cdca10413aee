# bash completion for telvar: command words, flags, the words a flag or an argument takes (on,
# off, hd, ns, bcst, sl, all, ...), file names and host names where those are expected.
#
# The table below is written at build time from the tool's command table: the global options
# (those only before the command word, those anywhere), each command's own
# options ("-s on|off -e --all", a value after the option that takes one) and its arguments
# from the address on ("<ip> <port>|all", "[...]" optional, "..." repeated; bare words are
# literals; "<ip>|--snapshot": the option --snapshot takes the argument's place).
# @COMMAND_TABLE@

# Adds to COMPREPLY what an argument or option value described by $1 may be that begins with $2.
_telvar_values() {
    local pattern=${1%...} cur=$2 alt words=
    pattern=${pattern#[}
    pattern=${pattern%]}
    local -a alts
    IFS='|' read -ra alts <<< "$pattern"
    for alt in "${alts[@]}"; do
        case $alt in
            '<file>'|'<snapshot>') compopt -o filenames 2>/dev/null
                      while IFS= read -r alt; do COMPREPLY+=("$alt"); done < <(compgen -f -- "$cur") ;;
            '<ip>') while IFS= read -r alt; do COMPREPLY+=("$alt"); done < <(compgen -A hostname -- "$cur") ;;
            '<'*) ;;
            *) words+=" $alt" ;;
        esac
    done
    [[ -n $words ]] && COMPREPLY+=($(compgen -W "$words" -- "$cur"))
    return 0
}

_telvar() {
    local cur=${COMP_WORDS[COMP_CWORD]} i=1 word= w
    COMPREPLY=()
    # Global flags may come before the command word.
    while (( i < COMP_CWORD )); do
        w=${COMP_WORDS[i]}
        case $w in
            -f*|-p*|-u*|--timeout|--wait) (( i += 2 )) ;;
            -*) (( i += 1 )) ;;
            *) word=$w; break ;;
        esac
    done
    if [[ -z $word ]]; then
        (( i > COMP_CWORD )) && return 0  # the value of a flag
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "$_telvar_first_flags" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$_telvar_commands" -- "$cur"))
        fi
        return 0
    fi
    if [[ $word == help ]]; then
        (( COMP_CWORD == i + 1 )) && COMPREPLY=($(compgen -W "$_telvar_commands" -- "$cur"))
        return 0
    fi

    # The command's options: their names, and the value each takes.
    local -a tokens operands
    local -A value=()
    local names= t last=
    read -ra tokens <<< "${_telvar_options[$word]}"
    for t in "${tokens[@]}"; do
        if [[ $t == -* ]]; then names+=" $t"; last=$t; else value[$last]=$t; fi
    done
    read -ra operands <<< "${_telvar_operands[$word]}"

    # Where the word being completed stands: after which option, or at which argument. Options
    # may stand anywhere until "--"; a dash and a digit is a negative number.
    local n=0 options=1 name
    local -A given=()
    for (( i = i + 1; i < COMP_CWORD; i++ )); do
        w=${COMP_WORDS[i]}
        if [[ $w == -- ]]; then
            options=0
            continue
        fi
        if (( options )) && [[ $w == --timeout || $w == --wait ]]; then
            (( i + 1 == COMP_CWORD )) && return 0  # a number of milliseconds
            (( i++ ))
            continue
        fi
        if (( options )) && [[ $w == --* ]]; then  # an option of a word
            given[$w]=1
            [[ -n ${value[$w]+set} ]] || continue
            if (( i + 1 == COMP_CWORD )); then
                _telvar_values "${value[$w]}" "$cur"
                return 0
            fi
            (( i++ ))
            continue
        fi
        if (( options )) && [[ $w == -[!0-9]* ]]; then
            name=${w:0:2}
            [[ -n ${value[$name]+set} || $name == -f || $name == -u || $name == -p ]] || continue
            if (( i + 1 == COMP_CWORD )); then
                [[ -n ${value[$name]+set} ]] && _telvar_values "${value[$name]}" "$cur"
                return 0
            fi
            (( i++ ))
            continue
        fi
        (( n++ ))
    done
    if (( options )) && [[ $cur == -[!0-9]* || $cur == - ]]; then
        COMPREPLY=($(compgen -W "$names $_telvar_global_flags" -- "$cur"))
        return 0
    fi
    # Arguments whose place a given option took.
    local -a left=()
    for t in "${operands[@]}"; do
        local alt taken=0
        local -a alts
        IFS='|' read -ra alts <<< "$t"
        for alt in "${alts[@]}"; do [[ $alt == --* && -n ${given[$alt]+set} ]] && taken=1; done
        (( taken )) || left+=("$t")
    done
    operands=("${left[@]}")
    (( ${#operands[@]} )) || return 0
    if (( n >= ${#operands[@]} )); then
        [[ ${operands[-1]} == *... ]] || return 0
        n=$(( ${#operands[@]} - 1 ))
    fi
    _telvar_values "${operands[n]}" "$cur"
}

complete -F _telvar telvar
