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
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

enum class sink { pipe, full, closed, early };

struct result {
	std::string out, err;
	int status = -1;
	bool sigpipe = false;
};

std::vector<std::string> wrapper;
int failures, checks;

// Runs prog with the given argument vector (argv[0] included, or none at
// all) and environment, under a limit on one resource if one is given.
result run(const std::string &prog, const std::vector<std::string> &args,
	   std::vector<std::string> env = {"LC_ALL=C"}, sink to = sink::pipe,
	   bool close_stdin = false, int resource = -1, rlim_t limit = 0)
{
	// With a wrapper the program becomes the wrapper's argument.
	std::vector<std::string> all = args;
	if (!wrapper.empty()) {
		all = wrapper;
		all.push_back(prog);
		for (size_t i = 1; i < args.size(); i++)
			all.push_back(args[i]);
	}
	std::vector<char *> av, ev;
	for (auto &a : all)
		av.push_back(a.data());
	av.push_back(nullptr);
	for (auto &e : env)
		ev.push_back(e.data());
	ev.push_back(nullptr);
	const std::string &path = wrapper.empty() ? prog : wrapper[0];

	int out[2], err[2];
	if (pipe(out) != 0 || pipe(err) != 0)
		std::perror("pipe"), std::exit(2);
	pid_t pid = fork();
	if (pid == 0) {
		if (to == sink::full) {
			int fd = open("/dev/full", O_WRONLY);
			dup2(fd, 1);
			close(fd);
		} else {
			dup2(out[1], 1);
		}
		dup2(err[1], 2);
		for (int fd : {out[0], out[1], err[0], err[1]})
			close(fd);
		if (to == sink::closed)
			close(1);
		if (close_stdin)
			close(0);
		// Set here, after fork: the driver's own allocations stay free.
		const rlimit rl{limit, limit};
		if (resource >= 0 && setrlimit(resource, &rl) != 0)
			_exit(126);
		(void)signal(SIGPIPE, SIG_DFL);
		// The PATH searched is the driver's, not the program's.
		execvpe(path.c_str(), av.data(), ev.data());
		_exit(127);
	}
	close(out[1]);
	close(err[1]);
	result r;
	if (to == sink::early) {
		// The reader takes one byte, then leaves.
		char c;
		(void)!read(out[0], &c, 1);
		close(out[0]);
		out[0] = -1;
	}
	std::vector<pollfd> fds;
	char buf[65536];
	for (;;) {
		fds.clear();
		if (out[0] >= 0)
			fds.push_back({out[0], POLLIN, 0});
		if (err[0] >= 0)
			fds.push_back({err[0], POLLIN, 0});
		if (fds.empty())
			break;
		poll(fds.data(), fds.size(), -1);
		for (auto &p : fds) {
			if (!(p.revents & (POLLIN | POLLHUP)))
				continue;
			ssize_t n = read(p.fd, buf, sizeof buf);
			std::string &s = p.fd == out[0] ? r.out : r.err;
			if (n > 0) {
				s.append(buf, static_cast<size_t>(n));
			} else {
				close(p.fd);
				(p.fd == out[0] ? out[0] : err[0]) = -1;
			}
		}
	}
	int st;
	while (waitpid(pid, &st, 0) < 0 && errno == EINTR)
		;
	r.sigpipe = WIFSIGNALED(st) && WTERMSIG(st) == SIGPIPE;
	r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
	return r;
}

void expect(bool ok, const std::string &what, const result &r)
{
	checks++;
	if (ok)
		return;
	if (++failures <= 20)
		std::printf("FAIL: %s: status %d, %zu bytes out, stderr: %.200s\n",
			    what.c_str(), r.status, r.out.size(), r.err.c_str());
}

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
					const result r = run(prog, {n, arg}, {"LC_ALL=C"}, sink::pipe, false,
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
	// A fixed seed: a failure must be repeatable.
	std::mt19937 rng(20261208); // NOLINT(cert-msc32-c,cert-msc51-cpp)
	std::uniform_int_distribution<int> byte(1, 255), pick(0, 99);
	const std::string salt = "::  //AZaz";
	auto random_arg = [&] {
		int r = pick(rng);
		size_t len = r < 70 ? rng() % 65 : r < 95 ? rng() % 4097 : rng() % 131072;
		std::string s;
		for (size_t i = 0; i < len; i++)
			s += static_cast<char>(pick(rng) < 30 ? salt[rng() % salt.size()] : byte(rng));
		return s;
	};
	for (long i = 0; i < count; i++) {
		std::string arg = random_arg();
		result a = run(slug, {"headslug", arg}), b = run(tail, {"tailecho", arg});
		expect(a.status == 0 && a.err.empty() && slug_ok(arg, a.out),
		       "headslug, random argument " + std::to_string(i), a);
		expect(b.status == 0 && b.err.empty() && tail_ok(arg, b.out),
		       "tailecho, random argument " + std::to_string(i), b);
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
		r = run(prog, {n, "Ab Cd: e/F"}, {"LC_ALL=C"}, sink::pipe, true);
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
	std::printf("%d passed, %d failed\n", checks - failures, failures);
	return failures != 0;
}
