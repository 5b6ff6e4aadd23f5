# The tail in awk, colon rule included: a colon is dropped and the byte
# after it written as it is. The string comes as the first argument.
BEGIN {
	s = ARGV[1]
	n = length(s)
	for (i = index(s, ":"); i && i <= n; i++) {
		c = substr(s, i, 1)
		if (c == ":")
			c = substr(s, ++i, 1)
		printf "%s", c
	}
}
