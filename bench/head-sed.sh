#!/bin/sh
# The head as a slug with sed (GNU's \L); single-line strings only.
printf '%s' "$1" | sed 's/:.*//; y| /|--|; s/.*/\L&/'
