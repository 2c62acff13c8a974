# bash completion for varnel: its switches, the "--name value" form of every
# configuration option with the values it takes, and file names.
# Installed as share/bash-completion/completions/varnel; tests/completion.sh
# checks it against the program's own option and switch tables.

_varnel() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}

    local switches="-indent -i -omit -o -wrap -w -upper -u -clean -c
        -numeric -n -errors -e -quiet -q -xml -asxml -asxhtml -slides
        -preserve -raw -ascii -latin1 -utf8 -iso2022 -mac -modify -m -change
        -update -config -f -file -j -jobs -version -v -help -h -help-config"
    local booleans="wrap-attributes wrap-script-literals wrap-sections
        wrap-asp wrap-jste wrap-php literal-attributes markup quiet
        varnel-mark indent-attributes hide-endtags input-xml output-xml
        output-xhtml add-xml-pi add-xml-decl assume-xml-procins raw
        uppercase-tags uppercase-attributes clean logical-emphasis word-2000
        drop-empty-paras drop-font-tags enclose-text enclose-block-text
        add-xml-space fix-bad-comments split break-before-br numeric-entities
        quote-marks quote-nbsp quote-ampersand write-back keep-time
        show-warnings fix-backslash gnu-emacs preserve-entities"
    # Options whose value is a number, free text or a list of names: nothing
    # to offer but what the user types.
    local free="indent-spaces wrap tab-size alt-text slide-style
        new-inline-tags new-blocklevel-tags new-empty-tags new-pre-tags"
    local options="$booleans $free indent char-encoding doctype error-file"

    local values=
    case $prev in
    -config | -f | -file | --file | --error-file)
        _varnel_files "$cur"
        return
        ;;
    -w | -wrap | --wrap | -j | -jobs)
        COMPREPLY=()
        return
        ;;
    --indent) values="no yes auto" ;;
    --char-encoding) values="raw ascii latin1 utf8 iso2022 mac" ;;
    --doctype) values="omit auto strict loose html5" ;;
    --*)
        local name=${prev#--} word
        for word in $booleans; do
            [[ $word == "$name" ]] && values="yes no"
        done
        for word in $free; do
            if [[ $word == "$name" ]]; then
                COMPREPLY=()
                return
            fi
        done
        ;;
    esac
    if [[ -n $values ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$values" -- "$cur")
        return
    fi

    case $cur in
    --*)
        local long="--file --version" word
        for word in $options; do
            long+=" --$word"
        done
        mapfile -t COMPREPLY < <(compgen -W "$long" -- "$cur")
        ;;
    -*)
        mapfile -t COMPREPLY < <(compgen -W "$switches" -- "$cur")
        ;;
    *)
        _varnel_files "$cur"
        ;;
    esac
}

# Offers files and directories whose names start with $1.
_varnel_files() {
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$1")
}

complete -F _varnel varnel
