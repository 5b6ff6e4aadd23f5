# The head as a slug in awk; the string comes as the first argument.
BEGIN {
	s = ARGV[1]
	sub(/:.*/, "", s)
	gsub(/[ \/]/, "-", s)
	printf "%s", tolower(s)
}
