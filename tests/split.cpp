// colonsplit against headslug and tailecho themselves, so that the three
// can never drift: each record that colonsplit splits must give the bytes
// that headslug or tailecho gives for it as its argument, then its
// terminator. The records: the hostile arguments, every short string over
// bytes that matter, and records that straddle a read's end wherever a
// buffer of a power of two would put it. Then what a stream asks of a
// filter: a line longer than memory would hold, a reader that comes late
// to a non-blocking pipe, and one that leaves early.
//
// usage: split headslug tailecho colonsplit count [wrapper...]
// count: how many hostile arguments (fewer where the programs start
// slowly, and then shorter exhaustive strings too).
#include "run.hpp"

#include <array>
#include <map>

namespace {

std::string programs[2], colonsplit, folder;
const char *const modes[2] = {"head", "tail"};
// What headslug (0) and tailecho (1) give for each argument asked.
std::map<std::string, std::string> known[2];

const std::string &want(int mode, const std::string &arg)
{
	auto it = known[mode].find(arg);
	if (it == known[mode].end()) {
		const result r = run(programs[mode], {mode ? "tailecho" : "headslug", arg});
		it = known[mode].emplace(arg, r.out).first;
	}
	return it->second;
}

std::string shown(const std::string &s)
{
	std::string out;
	for (unsigned char c : s.substr(0, 60)) {
		char hex[8];
		(void)std::snprintf(hex, sizeof hex, c < ' ' || c > '~' ? "\\x%02x" : "%c", c);
		out += hex;
	}
	return out + (s.size() > 60 ? "..." : "");
}

// colonsplit on a stream, in each mode, read from a file (whole reads) or
// from a pipe: each record's output must be the program's for it.
void differ(const std::string &stream, char term, const std::string &what, bool file = false)
{
	std::vector<std::string> records;
	for (size_t at = 0; at < stream.size();) {
		size_t end = stream.find(term, at);
		records.push_back(stream.substr(at, end == std::string::npos ? end : end - at));
		at = end == std::string::npos ? stream.size() : end + 1;
	}
	const bool ended = stream.empty() || stream.back() == term;
	feed in = with(stream);
	const std::string path = folder + "/stream";
	if (file) {
		FILE *f = std::fopen(path.c_str(), "wb");
		if (!f || std::fwrite(stream.data(), 1, stream.size(), f) != stream.size() || std::fclose(f) != 0)
			std::perror(path.c_str()), std::exit(2);
		in = with("");
	}
	for (int mode = 0; mode < 2; mode++) {
		std::vector<std::string> call = {"colonsplit"};
		if (term == '\0')
			call.emplace_back("-z");
		call.emplace_back(modes[mode]);
		if (file)
			call.push_back(path);
		std::string expected;
		for (size_t i = 0; i < records.size(); i++)
			expected += want(mode, records[i]) + (i + 1 < records.size() || ended ? std::string(1, term) : "");
		const result r = run(colonsplit, call, {"LC_ALL=C"}, sink::pipe, in);
		std::string why;
		if (r.out != expected) {
			// The first record whose output differs.
			size_t i = 0, at = 0;
			for (; i < records.size(); i++) {
				const std::string one = want(mode, records[i]) + term;
				if (r.out.compare(at, one.size(), one) != 0)
					break;
				at += one.size();
			}
			why = ": record " + std::to_string(i) + " '" + shown(i < records.size() ? records[i] : "") +
			      "' gave '" + shown(r.out.substr(at)) + "'";
		}
		std::string name = term ? "colonsplit " : "colonsplit -z ";
		name += modes[mode];
		name += ", " + what;
		expect(r.status == 0 && r.err.empty() && why.empty() && r.out == expected, name + why, r);
	}
}

std::string joined(const std::vector<std::string> &records, char term)
{
	std::string s;
	for (const auto &r : records)
		s += r + term;
	return s;
}

// Every string of up to length bytes over those that matter.
std::vector<std::string> exhaustive(size_t length)
{
	const std::string bytes = ":/Az\xff- ";
	std::vector<std::string> all = {""};
	for (size_t from = 0, n = 0; n < length; n++) {
		const size_t to = all.size();
		for (size_t i = from; i < to; i++)
			for (char c : bytes)
				all.push_back(all[i] + c);
		from = to;
	}
	return all;
}

// Records of every length up to two 64-byte groups and more, with colons
// at offsets that move with the length, one after another: their bounds
// and colons fall at every offset of a vector and of a group. Read from a
// pipe and from a file.
void offsets(char term)
{
	const std::string text = "Ab Cd/Ef Gh-Ij Kl";
	std::string s;
	for (int round = 0; round < 3; round++) {
		for (size_t n = 0; n <= 140; n++) {
			std::string r;
			for (size_t i = 0; i < n; i++)
				r += text[i % text.size()];
			// A colon, then a pair of them or one alone further on.
			for (size_t at = (n * 37) % (n + 1), step = 1 + n % 3; at < n; at += step, step += 9)
				r[at] = ':';
			s += r + term;
		}
		// The next round a byte further on.
		s += term;
	}
	differ(s, term, "records of every length, by a pipe");
	differ(s, term, "records of every length, from a file", true);
}

// Streams in which the bytes around the end of a read block (a file is
// read a block at a time), and other powers of two, are a colon, a colon
// pair or a terminator, on either side, at every offset of a 64-byte
// group before the end and a byte after it: each end of a block a probe
// at the next offset. Read from a file, so that the reads are whole.
void straddle(char term)
{
	const std::string t(1, term);
	const std::array<std::string, 7> middles = {":", "::", ":::", t, ":" + t, t + ":", "x:" + t + ":y"};
	const std::string pad = "Pad Ding/Xx: yy zz" + std::string(45, 'w') + t;
	for (const std::string &middle : middles) {
		std::string s;
		for (size_t size = 1 << 12, shift = 0; shift <= 66; size += size < (1 << 17) ? size : 1 << 17, shift++) {
			// The probe's middle from 65 bytes before the end to one after.
			const size_t at = size + 1 - shift;
			while (s.size() + pad.size() + 2 < at)
				s += pad;
			// Empty records bring it to its place.
			s += std::string(at - 2 - s.size(), term);
			s.append("Ab").append(middle).append("Cd").append(t);
		}
		s += pad;
		const std::string what = middle == t ? "a terminator" : "'" + shown(middle) + "'";
		differ(s, term, what + " at each end of a block", true);
	}
}

// A line of 512 MiB with no terminator passes through a pipe in bounded
// memory: the output, every byte of it, comes while the input goes.
void endless()
{
	const size_t piece = 1 << 20, pieces = 512;
	size_t given = 0, taken = 0;
	bool right = true;
	feed in;
	in.source = [&] {
		std::string s = given == 0 ? "Key: " + std::string(piece - 5, 'x') : given < pieces ? std::string(piece, 'x') : "";
		given++;
		return s;
	};
	in.drain = [&](const char *p, size_t n) {
		for (size_t i = 0; i < n; i++)
			right = right && p[i] == (taken + i == 0 ? ' ' : 'x');
		taken += n;
	};
	const result r = run(colonsplit, {"colonsplit", "tail"}, {"LC_ALL=C"}, sink::pipe, in);
	expect(r.status == 0 && right && taken == piece * pieces - 4, "colonsplit tail, a 512 MiB line", r);
	// The emulator's own memory counts, and is tens of MiB.
	const long limit = wrapper.empty() ? 16 << 10 : 256 << 10;
	expect(r.peak_kib > 0 && r.peak_kib < limit, "colonsplit tail, a 512 MiB line in " + std::to_string(r.peak_kib) + " KiB", r);
}

// Output to a pipe that someone set non-blocking, whose reader comes late,
// and to a reader that leaves after a byte.
void readers()
{
	std::string lines;
	while (lines.size() < (4 << 20))
		lines += "Hello World: Body text\n";
	std::string heads;
	for (size_t i = 0; i < lines.size() / 23; i++)
		heads += "hello-world\n";
	const result r = run(colonsplit, {"colonsplit", "head"}, {"LC_ALL=C"}, sink::late, with(lines));
	expect(r.status == 0 && r.err.empty() && r.out == heads, "colonsplit head, non-blocking output read late", r);
	const result e = run(colonsplit, {"colonsplit", "head"}, {"LC_ALL=C"}, sink::early, with(lines));
	expect(e.sigpipe && e.err.empty(), "colonsplit head, a reader that leaves early", e);
}

} // namespace

int main(int argc, char *argv[])
{
	// Asked whether an empty argument vector reaches a program.
	if (argc == 0)
		return 100;
	if (argc < 5)
		return std::fprintf(stderr, "usage: split headslug tailecho colonsplit count [wrapper...]\n"), 2;
	(void)signal(SIGPIPE, SIG_IGN);
	programs[0] = argv[1];
	programs[1] = argv[2];
	colonsplit = argv[3];
	const long count = std::strtol(argv[4], nullptr, 10);
	wrapper.assign(argv + 5, argv + argc);
	char dir[] = "/tmp/split.XXXXXX";
	if (!mkdtemp(dir))
		return std::perror("mkdtemp"), 2;
	folder = dir;

	const std::vector<std::string> args = hostile(count);
	differ(joined(args, '\0'), '\0', "the hostile arguments");
	std::vector<std::string> lines;
	for (const auto &a : args)
		if (a.find('\n') == std::string::npos)
			lines.push_back(a);
	differ(joined(lines, '\n'), '\n', "the hostile arguments without a newline");
	const std::vector<std::string> all = exhaustive(count < 2000 ? 3 : 4);
	differ(joined(all, '\n'), '\n', "every short string");
	differ(joined(all, '\0'), '\0', "every short string");
	offsets('\n');
	offsets('\0');
	straddle('\n');
	straddle('\0');
	endless();
	readers();
	// An empty argument vector holds no mode; where the kernel gives it
	// a name, as Linux does since 5.18, or an emulator runs it, it
	// cannot be had.
	if (wrapper.empty() && run("/proc/self/exe", {}).status == 100) {
		const result r = run(colonsplit, {}, {"X=head", "Y: z"});
		expect(r.status == 2 && r.err.rfind("colonsplit: no mode: head or tail\n", 0) == 0,
		       "colonsplit, no argument vector at all", r);
	} else {
		std::printf("left out: colonsplit with no argument vector at all: none can be had here\n");
	}

	(void)std::remove((folder + "/stream").c_str());
	rmdir(dir);
	return summary();
}
