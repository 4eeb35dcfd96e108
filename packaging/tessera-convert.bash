# bash completion for tessera-convert
#
# The options, their value names and the words each word option takes are
# read from the program's own --help whenever a completion is asked for, so
# the completion knows every option of the installed program and no list
# here has to be kept up to date.

# Prints one line for every option: "--long -s VALUE word...", with "-" for a
# missing short name or value.
_tessera_convert_table() {
  "$1" --help 2>/dev/null | awk '
    function flush() {
      if (long != "") print long, (short == "" ? "-" : short), (value == "" ? "-" : value), words
      long = ""; short = ""; value = ""; words = ""
    }
    # An option starts a line, indented a little; its description may go on
    # in lines indented far more.
    match($0, /^ +/) && RLENGTH <= 8 && substr($0, RLENGTH + 1, 1) == "-" {
      flush()
      line = substr($0, RLENGTH + 1)
      if (line ~ /^-[^-], /) { short = substr(line, 1, 2); line = substr(line, 5) }
      n = split(line, f, / +/)
      long = f[1]
      # A value name is written in capitals ("N", "PATH", "KERNEL"), a file
      # name perhaps with the extension it wants ("FILE.png").
      if (n > 1 && f[2] ~ /^[A-Z][A-Z0-9_]*(\.[A-Za-z0-9]+)?$/) value = f[2]
      sub(/=.*/, "", long)
      next
    }
    /^ +one of: / {
      w = $0
      sub(/^ +one of: /, "", w)
      gsub(/,/, "", w)
      words = w
      next
    }
    /^[^ ]/ { flush() }
    END { flush() }'
}

_tessera_convert_files() {
  if declare -F _filedir >/dev/null; then
    _filedir "$@"
  else
    compopt -o filenames 2>/dev/null
    local IFS=$'\n'
    if [[ ${1-} == -d ]]; then
      COMPREPLY=($(compgen -d -- "$cur"))
    else
      COMPREPLY=($(compgen -f -- "$cur"))
    fi
  fi
}

_tessera_convert() {
  local program=${1:-tessera-convert} cur=${COMP_WORDS[COMP_CWORD]} option="" i
  COMPREPLY=()

  # "--format=bm": bash splits at "=" when it is a word break, else it is one word.
  if [[ $cur == = && $COMP_CWORD -ge 1 ]]; then
    option=${COMP_WORDS[COMP_CWORD - 1]}
    cur=""
  elif [[ $COMP_CWORD -ge 2 && ${COMP_WORDS[COMP_CWORD - 1]} == = ]]; then
    option=${COMP_WORDS[COMP_CWORD - 2]}
  elif [[ $cur == --*=* ]]; then
    option=${cur%%=*}
    cur=${cur#*=}
  fi

  # After "--" every word is a picture.
  for ((i = 1; i < COMP_CWORD; i++)); do
    if [[ ${COMP_WORDS[i]} == -- ]]; then
      _tessera_convert_files
      return 0
    fi
  done

  local table
  table=$(_tessera_convert_table "$program") || return 0
  local long short value words
  if [[ -z $option && $COMP_CWORD -ge 2 ]]; then
    # The previous word may be an option that takes this word as its value.
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    while read -r long short value words; do
      if [[ $value != - && ( $prev == "$long" || $prev == "$short" ) ]]; then
        option=$prev
        break
      fi
    done <<<"$table"
  fi

  if [[ -n $option ]]; then
    while read -r long short value words; do
      [[ $option == "$long" || $option == "$short" ]] || continue
      if [[ -n $words ]]; then
        local IFS=$' \t\n'
        COMPREPLY=($(compgen -W "$words" -- "$cur"))
      elif [[ $value == PATH || $value == FILE || $value == FILE.* ]]; then
        _tessera_convert_files
      elif [[ $value == DIR ]]; then
        _tessera_convert_files -d
      fi
      return 0
    done <<<"$table"
    return 0
  fi

  if [[ $cur == -* ]]; then
    local names=()
    while read -r long short value words; do
      names+=("$long")
      [[ $short != - ]] && names+=("$short")
    done <<<"$table"
    COMPREPLY=($(compgen -W "${names[*]} --" -- "$cur"))
    return 0
  fi

  _tessera_convert_files
  return 0
}

complete -F _tessera_convert tessera-convert
