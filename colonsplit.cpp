// colonsplit: headslug or tailecho for every record of a stream, in one
// process. Each record (a line, or with -z a NUL-terminated string) gives
// exactly the bytes that the program would give for it as its argument,
// then its terminator.
#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Big enough that the calls cost nothing beside the bytes; small enough
// for the cache. Memory stays this, whatever a record's length.
constexpr std::size_t block = 1 << 17;
unsigned char in[block];
// A record's output is never longer than its input, but for the
// terminator owed to the last record of an earlier file.
unsigned char out[block + 1];

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

// Records are short: rather than a byte at a time, eight bytes are
// tested, and mapped, at a time in an integer, on every processor.
using word = std::uint64_t;
constexpr word ones = ~word{0} / 0xff, highs = ones * 0x80, lows = ones * 0x7f;

word load(const unsigned char *p)
{
	word w;
	std::memcpy(&w, p, sizeof w);
	return w;
}

void store(unsigned char *p, word w) { std::memcpy(p, &w, sizeof w); }

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

void say(const char *what)
{
	(void)std::fprintf(stderr, "colonsplit: %s: %s\n", what, std::strerror(errno));
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
		const ssize_t n = read(fd, in, sizeof in);
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
			return std::fputs(usage, stdout) < 0 || std::fputs(help, stdout) < 0 || std::fflush(stdout) != 0;
		case 'v':
			return std::printf("colonsplit %s\n", COLONSPLIT_VERSION) < 0 || std::fflush(stdout) != 0;
		default:
			if (optopt)
				(void)std::fprintf(stderr, "colonsplit: unknown option '-%c'\n%s", optopt, usage);
			else
				(void)std::fprintf(stderr, "colonsplit: unknown option '%s'\n%s", argv[optind - 1], usage);
			return 2;
		}
	}
	if (optind == argc) {
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
	int status = 0;
	bool owed = false;
	for (; *files; files++) {
		const bool std_in = std::strcmp(*files, "-") == 0;
		const int fd = std_in ? 0 : open(*files, O_RDONLY | O_CLOEXEC);
		if (fd < 0) {
			say(*files);
			status = 1;
			continue;
		}
		const result r = pass(fd, std_in ? "standard input" : *files, owed);
		if (!std_in)
			close(fd);
		if (r == unwritten)
			return 1;
		if (r == unread)
			status = 1;
	}
	return status;
}
