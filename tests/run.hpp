// The test drivers' way to run a program: with its arguments,
// environment, standard input and output as a case wants them, under a
// wrapper (valgrind or an emulator, found on the PATH) if one is given;
// the seeded hostile arguments that the drivers share; and the count of
// checks.
#ifndef COLONSPLIT_TESTS_RUN_HPP
#define COLONSPLIT_TESTS_RUN_HPP

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
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

// Where standard output goes: a pipe; /dev/full; nowhere (closed); a
// pipe whose reader leaves after one byte; a pipe set non-blocking,
// whose reader comes late.
enum class sink { pipe, full, closed, early, late };

struct result {
	std::string out, err;
	int status = -1;
	bool sigpipe = false;
	// Peak resident memory, the wrapper's where there is one, as last seen
	// while the output was drained.
	long peak_kib = 0;
};

// Standard input: closed, or these bytes. A source, where given, makes
// them a piece at a time (an empty piece ends them); a drain, where given,
// takes the output in place of result.out.
struct feed {
	bool closed = false;
	std::string bytes;
	std::function<std::string()> source;
	std::function<void(const char *, std::size_t)> drain;
};

// What the kernel says of a running process's peak resident memory. (A
// child's rusage would count the driver's memory, which fork copied.)
inline long peak(pid_t pid)
{
	const std::string path = "/proc/" + std::to_string(pid) + "/status";
	FILE *f = std::fopen(path.c_str(), "r");
	long kib = 0;
	char line[256];
	while (f && std::fgets(line, sizeof line, f))
		if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1)
			break;
	if (f)
		std::fclose(f);
	return kib;
}

inline feed closed()
{
	feed f;
	f.closed = true;
	return f;
}

inline feed with(std::string bytes)
{
	feed f;
	f.bytes = std::move(bytes);
	return f;
}

// Seeded random arguments of arbitrary bytes but NUL, of every length
// an argument can have, rich in colons, spaces, slashes and letters.
inline std::vector<std::string> hostile(long count)
{
	// A fixed seed: a failure must be repeatable.
	std::mt19937 rng(20261208); // NOLINT(cert-msc32-c,cert-msc51-cpp)
	std::uniform_int_distribution<int> byte(1, 255), pick(0, 99);
	const std::string salt = "::  //AZaz";
	std::vector<std::string> args;
	for (long i = 0; i < count; i++) {
		int r = pick(rng);
		size_t len = r < 70 ? rng() % 65 : r < 95 ? rng() % 4097 : rng() % 131072;
		std::string s;
		for (size_t j = 0; j < len; j++)
			s += static_cast<char>(pick(rng) < 30 ? salt[rng() % salt.size()] : byte(rng));
		args.push_back(s);
	}
	return args;
}

inline std::vector<std::string> wrapper;
inline int failures, checks;

struct plan {
	const char *path;
	char *const *av, *const *ev;
	sink to;
	bool closed;
	int resource;
	rlim_t limit;
	int fds[6]; // the pipes for standard output, error and input
};

// Starts the program as planned. vfork: the driver holds much memory,
// whose page tables fork would copy for every program run.
inline pid_t spawn(const plan &p)
{
	const pid_t pid = vfork();
	if (pid != 0)
		return pid;
	if (p.to == sink::full) {
		int fd = open("/dev/full", O_WRONLY);
		dup2(fd, 1);
		close(fd);
	} else {
		dup2(p.fds[1], 1);
	}
	dup2(p.fds[3], 2);
	dup2(p.fds[4], 0);
	for (int fd : p.fds)
		close(fd);
	if (p.to == sink::closed)
		close(1);
	if (p.closed)
		close(0);
	// Set here, in the child: the driver's own allocations stay free.
	const rlimit rl{p.limit, p.limit};
	if (p.resource >= 0 && setrlimit(p.resource, &rl) != 0)
		_exit(126);
	(void)signal(SIGPIPE, SIG_DFL);
	// The PATH searched is the driver's, not the program's.
	execvpe(p.path, p.av, p.ev);
	_exit(127);
}

// Runs prog with the given argument vector (argv[0] included, or none at
// all) and environment, under a limit on one resource if one is given.
inline result run(const std::string &prog, const std::vector<std::string> &args,
		  std::vector<std::string> env = {"LC_ALL=C"}, sink to = sink::pipe, feed in = {},
		  int resource = -1, rlim_t limit = 0)
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

	int out[2], err[2], inp[2];
	if (pipe(out) != 0 || pipe(err) != 0 || pipe(inp) != 0)
		std::perror("pipe"), std::exit(2);
	if (to == sink::late)
		(void)fcntl(out[1], F_SETFL, O_NONBLOCK);
	const pid_t pid = spawn({path.c_str(), av.data(), ev.data(), to, in.closed, resource, limit,
				 {out[0], out[1], err[0], err[1], inp[0], inp[1]}});
	close(out[1]);
	close(err[1]);
	close(inp[0]);
	(void)fcntl(inp[1], F_SETFL, O_NONBLOCK);
	result r;
	if (to == sink::late) {
		// Long enough for the pipe to fill.
		usleep(200000);
	}
	std::string piece = in.source ? in.source() : in.bytes;
	std::size_t sent = 0;
	if (piece.empty())
		close(inp[1]), inp[1] = -1;
	std::vector<pollfd> fds;
	std::vector<char> buf(1 << 16);
	for (;;) {
		fds.clear();
		for (int fd : {out[0], err[0]})
			if (fd >= 0)
				fds.push_back({fd, POLLIN, 0});
		if (inp[1] >= 0)
			fds.push_back({inp[1], POLLOUT, 0});
		if (fds.empty())
			break;
		poll(fds.data(), fds.size(), -1);
		for (auto &p : fds) {
			if (p.fd == inp[1]) {
				if (!(p.revents & (POLLOUT | POLLERR | POLLHUP)))
					continue;
				ssize_t n = write(inp[1], piece.data() + sent, piece.size() - sent);
				if (n > 0 && (sent += static_cast<size_t>(n)) == piece.size()) {
					piece = in.source ? in.source() : std::string();
					sent = 0;
				}
				// Done, or the program has stopped reading.
				if (piece.empty() || (n < 0 && errno != EAGAIN && errno != EINTR))
					close(inp[1]), inp[1] = -1;
				continue;
			}
			if (!(p.revents & (POLLIN | POLLHUP | POLLERR)))
				continue;
			// The early reader takes one byte, then leaves.
			const bool early = to == sink::early && p.fd == out[0];
			ssize_t n = read(p.fd, buf.data(), early ? 1 : buf.size());
			if (n > 0 && early)
				close(p.fd), out[0] = -1;
			else if (n > 0 && p.fd == out[0] && in.drain)
				in.drain(buf.data(), static_cast<size_t>(n)), r.peak_kib = std::max(r.peak_kib, peak(pid));
			else if (n > 0)
				(p.fd == out[0] ? r.out : r.err).append(buf.data(), static_cast<size_t>(n));
			else if (n == 0 || errno != EINTR)
				close(p.fd), (p.fd == out[0] ? out[0] : err[0]) = -1;
		}
	}
	int st;
	while (waitpid(pid, &st, 0) < 0 && errno == EINTR)
		;
	r.sigpipe = WIFSIGNALED(st) && WTERMSIG(st) == SIGPIPE;
	r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
	return r;
}

inline void expect(bool ok, const std::string &what, const result &r)
{
	checks++;
	if (ok)
		return;
	if (++failures <= 20)
		std::printf("FAIL: %s: status %d, %zu bytes out, stderr: %.200s\n",
			    what.c_str(), r.status, r.out.size(), r.err.c_str());
}

inline int summary()
{
	std::printf("%d passed, %d failed\n", checks - failures, failures);
	return failures != 0;
}

#endif
