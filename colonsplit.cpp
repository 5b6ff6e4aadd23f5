// colonsplit: headslug or tailecho for every record of a stream, in one
// process. Each record (a line, or with -z a NUL-terminated string) gives
// exactly the bytes that the program would give for it as its argument,
// then its terminator.
#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Big enough that the calls cost nothing beside the bytes; small enough
// for the cache. Memory stays this, whatever a record's length.
constexpr std::size_t block = 1 << 17;
// A record's output is never longer than its input, but for the
// terminator owed to the last record of an earlier file. Past each
// buffer's end, room for whole loads and stores that run over it, whose
// extra bytes count for nothing.
constexpr std::size_t slack = 64;
unsigned char in[block + slack], out[block + 1 + slack];

unsigned char term = '\n';
// Where the record at hand stands: in its head (headslug's bytes); after
// the first colon, or for tail before it (nothing written); in the tail
// (bytes written); right after a dropped colon (one byte written untested).
enum state { head, skip, body, colon } now;
state fresh = head;

const char usage[] = "usage: colonsplit [-z] head|tail [FILE...]\n";
const char help[] =
	"\n"
	"Split every record of the FILEs (or of the standard input) at its first\n"
	"colon, as headslug and tailecho split their argument: head writes each\n"
	"record's head as a slug, tail its tail; each followed by the record's\n"
	"terminator.\n"
	"\n"
	"  -z, --zero     records end in a NUL, not a newline\n"
	"      --help     this help, and exit\n"
	"      --version  the version, and exit\n"
	"\n"
	"With no FILE, or where FILE is -, the standard input is read.\n";

using word = std::uint64_t;

#if defined(__SSE2__) || defined(__ARM_NEON) || defined(__VSX__) || defined(__VX__)
// Where the target has a vector unit, in the compiler's own vector types:
// the colons and terminators of 64 bytes at a time found as a bit each,
// the records' bounds read off the bits, and their bytes written sixteen
// at a time.
typedef unsigned char chunk __attribute__((vector_size(16)));
typedef word halves __attribute__((vector_size(16)));
// Unaligned, and aliasing the buffers: plain moves, where a memcpy into
// out would be a checked call under fortify.
typedef unsigned char loose __attribute__((vector_size(16), aligned(1), may_alias));

chunk load(const unsigned char *p) { return *reinterpret_cast<const loose *>(p); }
void store(unsigned char *p, chunk c) { *reinterpret_cast<loose *>(p) = c; }

// A bit for each of the 64 bytes from g that is a colon or the
// terminator, in memory order.
word stops(const unsigned char *g)
{
	// Each byte found keeps a bit of its own; a multiplication adds up
	// the eight bytes of a half in its top byte.
	const chunk place = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
	const word ones = ~word{0} / 0xff;
	word s = 0;
	for (int i = 0; i < 64; i += 16) {
		const chunk c = load(g + i);
		const halves h = reinterpret_cast<halves>(reinterpret_cast<chunk>((c == ':') | (c == term)) & place);
		s |= ((h[0] * ones) >> 56 | (h[1] * ones) >> 56 << 8) << i;
	}
	return s;
}

// No locale: only A to Z are folded, as in the POSIX locale.
chunk slug(chunk c)
{
	// a to z are A to Z with one bit more.
	c |= reinterpret_cast<chunk>(c - 'A' < 26) & ('a' - 'A');
	const chunk dash = reinterpret_cast<chunk>((c == ' ') | (c == '/'));
	return (c & ~dash) | (dash & '-');
}

// Writes the bytes from p to e, mapped, at o; the new end of the output.
template <class Map>
unsigned char *emit(const unsigned char *p, const unsigned char *e, unsigned char *o, Map map)
{
	for (std::ptrdiff_t i = 0; i < e - p; i += sizeof(chunk))
		store(o + i, map(load(p + i)));
	return o + (e - p);
}

// The output of the bytes from p to e, at o; the new end of the output.
unsigned char *split(const unsigned char *p, const unsigned char *e, unsigned char *o)
{
	const auto same = [](chunk c) { return c; };
	const auto slugs = [](chunk c) { return slug(c); };
	state at = now;
	// Where the bytes still to write begin, in the states that write.
	const unsigned char *q = p;
	for (const unsigned char *g = p; g < e; g += 64) {
		// A head's long rest: the C library's search finds its end.
		if (at == skip && fresh == head) {
			const void *t = std::memchr(g, term, static_cast<std::size_t>(e - g));
			if (!t)
				break;
			g = static_cast<const unsigned char *>(t);
		}
		const unsigned char *end = e - g < 64 ? e : g + 64;
		for (word s = stops(g) & ~word{0} >> (64 - (end - g)); s; s &= s - 1) {
			const unsigned char *x = g + __builtin_ctzll(s);
			const bool ends = *x == term;
			switch (at) {
			case head:
				o = emit(q, x, o, slugs);
				at = skip;
				break;
			case skip:
				// In a head's rest a colon is nothing; before a tail, it
				// starts it.
				if (!ends && fresh == head)
					continue;
				at = colon;
				break;
			case colon:
				// The byte after a dropped colon is written untested.
				if (x == q && !ends) {
					at = body;
					continue;
				}
				[[fallthrough]];
			case body:
				o = emit(q, x, o, same);
				at = colon;
				break;
			}
			q = x + 1;
			if (ends) {
				*o++ = term;
				at = fresh;
			}
		}
		// The bytes to write go out with each group; right after a
		// dropped colon, one that is no stop is a tail's.
		if (at == head) {
			o = emit(q, end, o, slugs);
		} else if (at != skip) {
			o = emit(q, end, o, same);
			at = q < end ? body : at;
		}
		q = end;
	}
	now = at;
	return o;
}
#else
// Elsewhere (where the compiler would expand vectors a byte at a time):
// records are short, so rather than a byte at a time, eight bytes are
// tested, and mapped, at a time in an integer.
constexpr word ones = ~word{0} / 0xff, highs = ones * 0x80, lows = ones * 0x7f;
typedef word loose __attribute__((aligned(1), may_alias));

word load(const unsigned char *p) { return *reinterpret_cast<const loose *>(p); }
void store(unsigned char *p, word w) { *reinterpret_cast<loose *>(p) = w; }

// 0x80 in each byte of w that is c, 0 in the others (exact: no borrow
// crosses bytes).
word is(word w, unsigned char c)
{
	const word t = w ^ (ones * c);
	return ~(((t & lows) + lows) | t | lows);
}

// How many bytes lie before the first one flagged, in memory order.
int first(word flags)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
	return __builtin_clzll(flags) / 8;
#else
	return __builtin_ctzll(flags) / 8;
#endif
}

word stops(word w) { return is(w, ':') | is(w, term); }

// No locale: only A to Z are folded, as in the POSIX locale.
unsigned char slug(unsigned char c)
{
	if (static_cast<unsigned>(c - 'A') < 26)
		return static_cast<unsigned char>(c + ('a' - 'A'));
	return c == ' ' || c == '/' ? '-' : c;
}

word slug(word w)
{
	const word low = w & lows;
	const word upper = (low + ones * (0x80 - 'A')) & ~(low + ones * (0x80 - 'Z' - 1)) & ~w & highs;
	w ^= upper >> 2;
	w ^= (is(w, ' ') >> 7) * word{' ' ^ '-'};
	return w ^ (is(w, '/') >> 7) * word{'/' ^ '-'};
}

// Writes the bytes from p on, mapped, up to the first colon or
// terminator, or e; returns where it stopped.
template <class Map>
const unsigned char *run(const unsigned char *p, const unsigned char *e, unsigned char *&o, Map map)
{
	while (e - p >= 8) {
		const word w = load(p), s = stops(w);
		store(o, map(w));
		const int n = s ? first(s) : 8;
		p += n;
		o += n;
		if (s)
			return p;
	}
	for (; p < e && *p != ':' && *p != term; p++)
		*o++ = map(*p);
	return p;
}

// The first colon or terminator from p on, or e.
const unsigned char *find(const unsigned char *p, const unsigned char *e)
{
	for (; e - p >= 8; p += 8) {
		if (const word s = stops(load(p)))
			return p + first(s);
	}
	while (p < e && *p != term && *p != ':')
		p++;
	return p;
}

// The output of the bytes from p to e, at o; the new end of the output.
unsigned char *split(const unsigned char *p, const unsigned char *e, unsigned char *o)
{
	while (p < e) {
		switch (now) {
		case head:
			p = run(p, e, o, [](auto x) { return slug(x); });
			break;
		case skip:
			// The rest of a head's record is long and holds no stop but its
			// end: the C library's search, many bytes at a time, finds it.
			if (fresh == head) {
				const void *t = std::memchr(p, term, static_cast<std::size_t>(e - p));
				p = t ? static_cast<const unsigned char *>(t) : e;
			} else {
				p = find(p, e);
			}
			break;
		case body:
			p = run(p, e, o, [](auto x) { return x; });
			break;
		case colon:
			// The byte after a dropped colon is written untested, but a
			// terminator still ends the record.
			if (*p != term) {
				*o++ = *p++;
				now = body;
				continue;
			}
			break;
		}
		if (p == e)
			break;
		// A terminator ends the record; a colon ends the head, and in
		// the tail it is dropped.
		if (*p == term) {
			*o++ = term;
			now = fresh;
		} else {
			now = fresh == head ? skip : colon;
		}
		p++;
	}
	return o;
}

#endif

void say(const char *what)
{
	(void)std::fprintf(stderr, "colonsplit: %s: %s\n", what, std::strerror(errno));
}

// The status of a help or version written with stdio: a failure said, as
// for records.
int told(int written)
{
	if (written >= 0 && std::fflush(stdout) == 0)
		return 0;
	say("write error");
	return 1;
}

// Is fd the file that standard output appends to? Its records would be
// read again, without end.
bool looped(int fd, const struct stat &to)
{
	struct stat from;
	return S_ISREG(to.st_mode) && fstat(fd, &from) == 0 && from.st_dev == to.st_dev && from.st_ino == to.st_ino;
}

// Waits until fd is ready, where someone else set it non-blocking.
bool wait(int fd, short event)
{
	pollfd p{fd, event, 0};
	return poll(&p, 1, -1) >= 0 || errno == EINTR;
}

bool put(const unsigned char *p, std::size_t n)
{
	while (n > 0) {
		const ssize_t w = write(1, p, n);
		if (w > 0) {
			p += w;
			n -= static_cast<std::size_t>(w);
		} else if (w == 0 || (errno != EINTR && ((errno != EAGAIN && errno != EWOULDBLOCK) || !wait(1, POLLOUT)))) {
			if (w == 0)
				errno = EIO;
			return false;
		}
	}
	return true;
}

enum result { done, unread, unwritten };

// Passes fd to its end, or says why not. owed: the last record of an
// earlier file had no terminator.
result pass(int fd, const char *name, bool &owed)
{
	unsigned char last = term;
	result r = done;
	for (;;) {
		const ssize_t n = read(fd, in, block);
		if (n < 0) {
			if (errno == EINTR || ((errno == EAGAIN || errno == EWOULDBLOCK) && wait(fd, POLLIN)))
				continue;
			say(name);
			r = unread;
			break;
		}
		if (n == 0)
			break;
		unsigned char *o = out;
		if (owed)
			*o++ = term;
		owed = false;
		o = split(in, in + n, o);
		last = in[n - 1];
		if (!put(out, static_cast<std::size_t>(o - out))) {
			say("write error");
			return unwritten;
		}
	}
	// The last record ends with its file; whether it gets a terminator
	// is known only when more input follows.
	if (last != term)
		owed = true;
	now = fresh;
	return r;
}

} // namespace

int main(int argc, char *argv[])
{
	static const option longs[] = {
		{"zero", no_argument, nullptr, 'z'},
		{"help", no_argument, nullptr, 'h'},
		{"version", no_argument, nullptr, 'v'},
		{nullptr, 0, nullptr, 0},
	};
	opterr = 0;
	for (int c; (c = getopt_long(argc, argv, "z", longs, nullptr)) != -1;) {
		switch (c) {
		case 'z':
			term = '\0';
			break;
		case 'h':
			return told(std::printf("%s%s", usage, help));
		case 'v':
			return told(std::printf("colonsplit %s\n", COLONSPLIT_VERSION));
		default: {
			// A long option given a value has its fault told by its short
			// name: name it as given.
			const char *given = argv[optind - 1];
			const char *value = std::strchr(given, '=');
			if (optopt && value && std::strncmp(given, "--", 2) == 0)
				(void)std::fprintf(stderr, "colonsplit: option '%.*s' doesn't allow an argument\n%s",
						   static_cast<int>(value - given), given, usage);
			else if (optopt)
				(void)std::fprintf(stderr, "colonsplit: unknown option '-%c'\n%s", optopt, usage);
			else
				(void)std::fprintf(stderr, "colonsplit: unknown option '%s'\n%s", given, usage);
			return 2;
		}
		}
	}
	// (An empty argument vector holds no mode either.)
	if (optind >= argc) {
		(void)std::fprintf(stderr, "colonsplit: no mode: head or tail\n%s", usage);
		return 2;
	}
	const char *mode = argv[optind++];
	if (std::strcmp(mode, "head") == 0) {
		fresh = head;
	} else if (std::strcmp(mode, "tail") == 0) {
		fresh = skip;
	} else {
		(void)std::fprintf(stderr, "colonsplit: unknown mode '%s': head or tail\n%s", mode, usage);
		return 2;
	}
	now = fresh;

	static const char *const stdin_only[] = {"-", nullptr};
	const char *const *files = optind < argc ? argv + optind : stdin_only;
	struct stat to = {};
	(void)fstat(1, &to);
	int status = 0;
	bool owed = false;
	for (; *files; files++) {
		const bool std_in = std::strcmp(*files, "-") == 0;
		const char *name = std_in ? "standard input" : *files;
		const int fd = std_in ? 0 : open(*files, O_RDONLY | O_CLOEXEC);
		if (fd < 0 || looped(fd, to)) {
			if (fd < 0)
				say(name);
			else
				(void)std::fprintf(stderr, "colonsplit: %s: input file is output file\n", name);
			if (fd > 0)
				close(fd);
			status = 1;
			continue;
		}
		const result r = pass(fd, name, owed);
		if (!std_in)
			close(fd);
		if (r == unwritten)
			return 1;
		if (r == unread)
			status = 1;
	}
	return status;
}
