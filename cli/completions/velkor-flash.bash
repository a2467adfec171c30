# bash completion for velkor-flash                                       -*- shell-script -*-
#
# Installed as share/bash-completion/completions/velkor-flash, which bash-completion loads the
# first time velkor-flash is completed. From a build tree:
#   source cli/completions/velkor-flash.bash

# The serial devices a unit may hang on: their /dev/serial/by-id/ names and the terminal
# devices, less the consoles (/dev/tty, /dev/tty0 ...), which never carry a unit.
_velkor_flash_devices() {
    local device
    for device in /dev/serial/by-id/* /dev/tty*; do
        [[ -e $device ]] || continue
        case $device in
            /dev/tty | /dev/tty[0-9]*) continue ;;
        esac
        printf '%s\n' "$device"
    done
}

# COMPREPLY: the words of $1 that begin with $2 (a word holds no blank).
_velkor_flash_words() {
    local word
    COMPREPLY=()
    for word in $1; do
        [[ $word == "$2"* ]] && COMPREPLY+=("$word")
    done
}

# COMPREPLY: the files and folders whose names begin with $1.
_velkor_flash_files() {
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$1")
}

_velkor_flash() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    # bash splits --model=j5 at the "=": complete what follows it as the option's value.
    if [[ $cur == = ]]; then
        cur=
    elif [[ $prev == = && $COMP_CWORD -ge 2 ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi

    local command='' i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            image | query | check | write | config | station | ports)
                command=${COMP_WORDS[i]}
                break
                ;;
        esac
    done

    local output='-q --quiet --log'
    local talk="$output -v --verbose --trace"
    local units='--port --ports-from --force-port --connect-attempts --model --mcu'
    local record='--record --json --station --operator'
    local -A options=(
        [image]="-h --help --mcu -o --output $output"
        [query]="-h --help --port --model --force-port --connect-attempts $record $talk"
        [check]="-h --help $units --slave $record $talk"
        [station]="-h --help --model --mcu --port --ports-from --watch --match --allow-pty --max-slots --firmware-dir --record --station --operator --log --poll-interval --always --max-units --slave --no-verify --connect-attempts --http --http-host"
        [write]="-h --help $units --slave --force --recover --no-verify --verify-timeout $record $talk"
        [config]="-h --help $units --tv --hbrake --rds --tft --dvd --radio --audio $record $talk"
        [ports]='-h --help --json'
    )

    if [[ -n $command ]]; then
        case $prev in
            --model)
                _velkor_flash_words 'r3360 j5' "$cur"
                return
                ;;
            --mcu)
                _velkor_flash_words 'stm8 nec m3' "$cur"
                return
                ;;
            --port)
                local device
                COMPREPLY=()
                while IFS= read -r device; do
                    [[ $device == "$cur"* ]] && COMPREPLY+=("$device")
                done < <(_velkor_flash_devices)
                # A pseudo-terminal (velkor-sim's) or a link of one's own.
                [[ ${#COMPREPLY[@]} -gt 0 ]] || _velkor_flash_files "$cur"
                return
                ;;
            --ports-from | --log | --record | -o | --output)
                _velkor_flash_files "$cur"
                return
                ;;
            --watch | --firmware-dir)
                compopt -o dirnames 2>/dev/null
                COMPREPLY=($(compgen -d -- "$cur"))
                return
                ;;
            --verify-timeout | --connect-attempts | --station | --operator | --match | \
                --poll-interval | --max-units | --max-slots | --http | --http-host)
                COMPREPLY=()
                return
                ;;
            --hbrake | --rds)
                _velkor_flash_words 'on off' "$cur"
                return
                ;;
            # The list entries as velkor-flash takes them without blanks and inch marks, so
            # that they need no quoting.
            --tv)
                _velkor_flash_words 'NULL BOX ISDB TCL/CDT ISDBT CMMB DVBT T200/T202 ISDBT-IN' "$cur"
                return
                ;;
            --tft)
                _velkor_flash_words 'HSD8 HSD7 HSD6.2 INN8 INN7 INN6.5 INN8NEW INN7NEW INN6.5NEW' "$cur"
                return
                ;;
            --dvd)
                _velkor_flash_words 'NULL HALBERDIN MIRSEL TARNIC' "$cur"
                return
                ;;
            --radio)
                _velkor_flash_words 'NULL OSPREN HIT7705 TEF6624' "$cur"
                return
                ;;
            --audio)
                _velkor_flash_words 'TDA7418 TDA7419 TAS3204 BD37534' "$cur"
                return
                ;;
        esac
    fi

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            _velkor_flash_words '-h --help --version' "$cur"
        else
            _velkor_flash_words 'image query check write config station ports' "$cur"
        fi
    elif [[ $cur == -* ]]; then
        _velkor_flash_words "${options[$command]}" "$cur"
    else
        case $command in
            image | check | write | station) _velkor_flash_files "$cur" ;; # the firmware FILE
            *) COMPREPLY=() ;;
        esac
    fi
}

complete -F _velkor_flash velkor-flash
