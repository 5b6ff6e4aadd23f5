// Hostile inputs: seeded random arguments of arbitrary bytes, checked
// against properties of the output rather than a second implementation,
// and the ways a process can be started badly or have nowhere to write.
//
// usage: hostile headslug tailecho [count [wrapper...]]
//        hostile --limits static|dynamic headslug tailecho
// A wrapper (valgrind or an emulator, say, found on the PATH) runs each
// program; the closed-descriptor case is then left out, since the
// wrapper's own descriptors would fill it. --limits sweeps memory limits
// instead, for programs linked as it says.
#include "run.hpp"

#include <algorithm>

namespace {

bool upper(char c) { return c >= 'A' && c <= 'Z'; }

// What headslug must do to a head, said as properties of the output.
bool slug_ok(const std::string &arg, const std::string &out)
{
	std::string head = arg.substr(0, arg.find(':'));
	if (out.size() != head.size() || out.find_first_of(": /ABCDEFGHIJKLMNOPQRSTUVWXYZ") != std::string::npos)
		return false;
	for (size_t i = 0; i < head.size(); i++) {
		char h = head[i], o = out[i];
		bool fine = h == ' ' || h == '/' ? o == '-' : upper(h) ? o == h - 'A' + 'a' : o == h;
		if (!fine)
			return false;
	}
	return true;
}

// What tailecho must do to a tail: every byte but a colon survives, in
// order; colons only thin out; a tail without colons is written as is.
bool tail_ok(const std::string &arg, const std::string &out)
{
	size_t colon = arg.find(':');
	if (colon == std::string::npos)
		return out.empty();
	std::string tail = arg.substr(colon + 1);
	auto strip = [](std::string s) {
		s.erase(std::remove(s.begin(), s.end(), ':'), s.end());
		return s;
	};
	auto colons = [](const std::string &s) { return std::count(s.begin(), s.end(), ':'); };
	if (tail.find(':') == std::string::npos)
		return out == tail;
	return out.size() <= tail.size() && strip(out) == strip(tail) &&
	       colons(out) <= (colons(tail) + 1) / 2;
}

// Under any limit on address space or data segment a program writes its
// exact field with status 0, or fails as a process that cannot start
// fails: killed, or stopped before main by the C library's start-up or,
// in a dynamic program, by the dynamic loader, whose messages are not the
// program's. Never a message of the C++ runtime.
void limits(const std::string &slug, const std::string &tail, bool dynamic)
{
	const std::string start = "Fatal glibc error: ", loader = ": error while loading shared libraries: ";
	// A typical argument, and one that fills the stdio buffer many times.
	const std::string typical = "Ab Cd/Ef: g:h", big = std::string(20000, 'Q') + ":" + std::string(20000, 'q');
	for (const auto &[prog, n] : {std::pair{slug, "headslug"}, std::pair{tail, "tailecho"}})
		for (const std::string &arg : {typical, big}) {
			const result want = run(prog, {n, arg});
			for (const auto &[resource, name] : {std::pair{RLIMIT_AS, "address space"},
							     std::pair{RLIMIT_DATA, "data segment"}})
				for (rlim_t kib = 256; kib <= 4096; kib += 16) {
					const result r = run(prog, {n, arg}, {"LC_ALL=C"}, sink::pipe, {},
							     resource, kib * 1024);
					const bool unloaded = dynamic && r.status == 127 && r.out.empty() &&
							      r.err.rfind(n + loader, 0) == 0;
					const bool ok = r.status == 0 ? r.out == want.out && r.err.empty()
									: r.err.empty() || r.err.rfind(start, 0) == 0 || unloaded;
					expect(ok, std::string(n) + ", " + std::to_string(arg.size()) + "-byte argument, " +
							   name + " limited to " + std::to_string(kib) + " KiB",
					       r);
				}
		}
}

// Seeded random arguments, then the ways a process can be started badly
// or have nowhere to write.
void cases(const std::string &slug, const std::string &tail, long count)
{
	long i = 0;
	for (const std::string &arg : hostile(count)) {
		result a = run(slug, {"headslug", arg}), b = run(tail, {"tailecho", arg});
		expect(a.status == 0 && a.err.empty() && slug_ok(arg, a.out),
		       "headslug, random argument " + std::to_string(i), a);
		expect(b.status == 0 && b.err.empty() && tail_ok(arg, b.out),
		       "tailecho, random argument " + std::to_string(i++), b);
	}

	// About 100 KB to write, and a little.
	const std::string big(102400, 'W');
	struct target {
		std::string prog, n, lots;
	};
	for (const auto &[prog, n, lots] :
	     {target{slug, "headslug", big + ":x"}, target{tail, "tailecho", "x:" + big}}) {
		result want = run(prog, {n, "Ab Cd: e/F"});
		result r = run(prog, {n, "Ab Cd: e/F"}, {});
		expect(r.status == 0 && r.err.empty() && r.out == want.out, n + ", empty environment", r);
		r = run(prog, {n, "Ab Cd: e/F"}, {"LC_ALL=C"}, sink::pipe, closed());
		expect(r.status == 0 && r.err.empty() && r.out == want.out, n + ", closed standard input", r);
		r = run(prog, {n}, {"A=b:c", "X: y"});
		expect(r.status == 0 && r.err.empty() && r.out.empty(), n + ", no argument", r);
		r = run(prog, {}, {"A=b:c", "X: y"});
		expect(r.status == 0 && r.err.empty() && r.out.empty(), n + ", no argument vector at all", r);
		for (const std::string &arg : {std::string("Ab: c"), lots}) {
			const std::string what = n + ", " + std::to_string(arg.size());
			r = run(prog, {n, arg}, {"LC_ALL=C"}, sink::full);
			expect(r.status == 1 && r.err.empty(), what + "-byte argument, full device", r);
			if (wrapper.empty()) {
				r = run(prog, {n, arg}, {"LC_ALL=C"}, sink::closed);
				expect(r.status == 1 && r.err.empty(), what + "-byte argument, closed output", r);
			}
		}
		r = run(prog, {n, lots}, {"LC_ALL=C"}, sink::early);
		expect((r.sigpipe || r.status == 1) && r.err.empty(), n + ", reader leaves early", r);
	}
}

} // namespace

int main(int argc, char *argv[])
{
	const bool sweep = argc > 1 && std::string(argv[1]) == "--limits";
	const std::string link = sweep && argc > 2 ? argv[2] : "";
	if (argc < 3 + 2 * sweep || (sweep && link != "static" && link != "dynamic"))
		return std::fprintf(stderr, "usage: hostile headslug tailecho [count [wrapper...]]\n"
					    "       hostile --limits static|dynamic headslug tailecho\n"), 2;
	(void)signal(SIGPIPE, SIG_IGN);
	if (sweep) {
		limits(argv[3], argv[4], link == "dynamic");
	} else {
		wrapper.assign(argv + std::min(argc, 4), argv + argc);
		cases(argv[1], argv[2], argc > 3 ? std::strtol(argv[3], nullptr, 10) : 2000);
	}
	return summary();
}
