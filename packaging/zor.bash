# Bash completion for zor: commands, each command's options, code pages, folders after -o, and files.
# Installed as share/bash-completion/completions/zor; works without the bash-completion package too.

_zor() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local command='' i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
        info | list | test | extract | create | version)
            command=${COMP_WORDS[i]}
            break
            ;;
        esac
    done
    COMPREPLY=()
    if [[ -z $command ]]; then
        mapfile -t COMPREPLY < <(compgen -W 'info list test extract create version --help --version' -- "$cur")
        return
    fi

    local options
    case $command in
    info) options='--blocks --help' ;;
    version) options='--help' ;;
    list) options='--help --exclude --json --codepage' ;;
    test) options='--help --exclude --quiet --jobs --codepage' ;;
    extract)
        options='--help --exclude --output --overwrite --skip-existing --follow-links --force --quiet --jobs
                 --codepage'
        ;;
    create)
        options='--help --exclude --null --title --default-folder --overwrite-without-prompting --bare
                 --icon --version-info --elevation -0 -1 -2 -3 -4 -5 -6 -7 -8 -9 --jobs --codepage --quiet'
        ;;
    esac

    case $prev in
    --codepage)
        if [[ $command == create ]]; then
            mapfile -t COMPREPLY < <(compgen -W '874 1250 1251 1252 1253 1254 1255 1256 1257 1258' -- "$cur")
        else
            mapfile -t COMPREPLY < <(compgen -W '437 850 852 866 874 932 936 949 950 1250 1251 1252 1253 1254
                                                1255 1256 1257 1258' -- "$cur")
        fi
        return
        ;;
    -o | --output)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        return
        ;;
    --title | --default-folder | -j | --jobs | --version-info)
        return  # free text
        ;;
    --icon)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -X '!*.[iI][cC][oO]' -- "$cur"; compgen -d -- "$cur")
        return
        ;;
    --elevation)
        mapfile -t COMPREPLY < <(compgen -W 'asInvoker highestAvailable requireAdministrator' -- "$cur")
        return
        ;;
    --exclude)
        [[ $command == create ]] && return
        ;;
    esac

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi
    [[ $command == version ]] && return
    compopt -o filenames 2>/dev/null
    if [[ $command == create && $cur == @* ]]; then
        # A list file: complete the name behind the '@'.
        mapfile -t COMPREPLY < <(compgen -f -- "${cur#@}")
        COMPREPLY=("${COMPREPLY[@]/#/@}")
        return
    fi
    if [[ $command == list || $command == test || $command == extract ]]; then
        # Behind FILE (and as --exclude's argument), patterns: offer the paths the archive holds.
        local file='' j
        for ((j = i + 1; j < COMP_CWORD; j++)); do
            case ${COMP_WORDS[j]} in
            -o | --output | --codepage | --exclude) ((j++)) ;;
            -*) ;;
            *)
                file=${COMP_WORDS[j]}
                break
                ;;
            esac
        done
        if [[ -n $file && -f $file ]]; then
            local path
            while IFS= read -r path; do
                [[ $path == "$cur"* ]] && COMPREPLY+=("$path")
            done < <("${COMP_WORDS[0]}" list -- "$file" 2>/dev/null | sed '1d;$d' | cut -c58-)
            compopt +o filenames 2>/dev/null
            return
        fi
    fi
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}

complete -F _zor zor
