// headslug: write the head of the first argument (the bytes before its first
// colon) as a slug: space and slash become dashes, A to Z become a to z.
#include <cctype>
#include <cstdint>
#include <iostream>

static std::int32_t pr = 1;

int main(int argc, char *argv[])
{
	// std::cout as the library sets it up: its bytes go to C stdio's one
	// buffer, which stdio allocates itself and, where memory is short,
	// does without. A stream buffer of our own could fail to allocate.
	std::streambuf *out = std::cout.rdbuf();

	for (const char *p = argc > 1 ? argv[1] : ""; *p; p++) {
		// Nothing from the first colon on is written, or even read.
		if (*p == ':') {
			pr = 0;
			break;
		}
		char c = *p == ' ' || *p == '/' ? '-' : *p;
		// No setlocale: classification is that of the POSIX locale,
		// whatever the environment says.
		if (std::isupper(static_cast<unsigned char>(c)))
			c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
		// Once a write has failed the buffer must get no more bytes.
		if (pr && out->sputc(c) == std::char_traits<char>::eof()) {
			std::cout.setstate(std::ios::badbit);
			break;
		}
	}
	// A failed write is reported by the status alone: callers test it.
	return std::cout.flush() ? 0 : 1;
}
