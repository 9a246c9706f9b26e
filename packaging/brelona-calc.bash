# Bash completion of brelona-calc: the commands, then each command's options as its --help
# lists them, and file names.
_brelona_calc() {
  local cur=${COMP_WORDS[COMP_CWORD]} words
  if [ "$COMP_CWORD" -eq 1 ]; then
    words=$(brelona-calc --help 2>/dev/null | awk '/^commands:/ { c = 1; next } /^[^ ]/ { c = 0 } c { print $1 }')
    COMPREPLY=($(compgen -W "$words --help --version" -- "$cur"))
  elif [[ $cur == -* ]]; then
    words=$(brelona-calc "${COMP_WORDS[1]}" --help 2>/dev/null | grep -o -- '--[a-z][a-z-]*' | sort -u)
    COMPREPLY=($(compgen -W "$words --help" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -o filenames -F _brelona_calc brelona-calc
