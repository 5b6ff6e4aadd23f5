# The head of each line as a slug, in awk.
{
	s = $0
	sub(/:.*/, "", s)
	gsub(/[ \/]/, "-", s)
	print tolower(s)
}
