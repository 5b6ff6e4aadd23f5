#!/bin/sh
# The head as a slug with cut and tr: cut ends its line with a newline,
# which the last tr takes off again (so a head holding a newline differs).
printf '%s' "$1" | cut -d: -f1 | tr 'A-Z /' 'a-z--' | tr -d '\n'
