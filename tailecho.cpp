// tailecho: write the tail of the first argument (the bytes after its first
// colon); a colon that starts a step is dropped and the byte after it is
// written untested.
#include <cstdint>
#include <iostream>

static std::int32_t pr = 0;

int main(int argc, char *argv[])
{
	// std::cout as the library sets it up: its bytes go to C stdio's one
	// buffer, which stdio allocates itself and, where memory is short,
	// does without. A stream buffer of our own could fail to allocate.
	std::streambuf *out = std::cout.rdbuf();

	for (const char *p = argc > 1 ? argv[1] : ""; *p; p++) {
		if (*p == ':') {
			pr = 1;
			// A colon at the very end: never write the NUL.
			if (*++p == '\0')
				break;
		}
		// Once a write has failed the buffer must get no more bytes.
		if (pr && out->sputc(*p) == std::char_traits<char>::eof()) {
			std::cout.setstate(std::ios::badbit);
			break;
		}
	}
	// A failed write is reported by the status alone: callers test it.
	return std::cout.flush() ? 0 : 1;
}
