# The tail of each line in awk, colon rule included: a colon is dropped
# and the byte after it written as it is.
{
	s = $0
	n = length(s)
	o = ""
	for (i = index(s, ":"); i && i <= n; i++) {
		c = substr(s, i, 1)
		if (c == ":")
			c = substr(s, ++i, 1)
		o = o c
	}
	print o
}
