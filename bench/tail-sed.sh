#!/bin/sh
# The tail with sed, colon rule included: a colon is dropped and the byte
# after it kept as it is. Single-line strings only.
printf '%s' "$1" | sed -n '/:/{s/^[^:]*//; s/:\(.\|$\)/\1/g; p}'
