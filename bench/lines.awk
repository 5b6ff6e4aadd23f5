# About 34 MB of lines of one shape, the same from every awk (no random
# numbers): "real" (a dpkg status file's fields and continuation lines,
# and commit subjects: two in three with a colon), "short" (about 12
# bytes, each with a colon) or "long" (4 KiB, one colon).
# usage: awk -v shape=real -f bench/lines.awk
BEGIN {
	n = split("Release Notes Draft Build Fix Update the of for and to Review API Server Client Config Docs " \
		"Test Title Subject Key Value Time 2.0 v1.2 README/TODO", w, " ")
	f = split("Package Status Priority Section Installed-Size Maintainer Architecture Version Depends Description", field, " ")
	x = 1
	while (bytes < 34000000) {
		x = (x * 75 + 74) % 65537
		if (shape == "short") {
			y = (x * 75 + 74) % 65537
			line = substr(w[1 + x % n], 1, 5) ": " substr(tolower(w[1 + y % n]), 1, 4)
		} else if (shape == "long") {
			line = w[1 + x % n] " " w[1 + (x * 7) % n] "/" w[1 + (x * 13) % n] ":"
			while (length(line) < 4095) {
				x = (x * 75 + 74) % 65537
				line = line " " tolower(w[1 + x % n])
			}
			line = substr(line, 1, 4095)
		} else if (x % 6 < 3) {
			line = field[1 + x % f] ": " tolower(w[1 + (x * 3) % n]) "-" tolower(w[1 + (x * 5) % n])
		} else if (x % 6 == 3) {
			line = " " tolower(w[1 + x % n]) " " w[1 + (x * 3) % n] " " tolower(w[1 + (x * 7) % n]) " and more words of a description"
		} else if (x % 6 == 4) {
			line = w[1 + x % n] " " w[1 + (x * 3) % n] ": " tolower(w[1 + (x * 5) % n]) " " tolower(w[1 + (x * 11) % n]) " at 10:42"
		} else {
			line = w[1 + x % n] " the " tolower(w[1 + (x * 3) % n]) " " tolower(w[1 + (x * 7) % n]) " code path"
		}
		print line
		bytes += length(line) + 1
	}
}
