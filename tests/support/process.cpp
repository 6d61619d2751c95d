#include "process.hpp"

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>

#include "suite_programs.hpp"

namespace support {
namespace {

using Clock = std::chrono::steady_clock;

// A setting of the folder under test, read from the environment when the
// tests run, or the test build's default.
std::string setting(const char* name, std::string_view fallback) {
    const char* const value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::string(value) : std::string(fallback);
}

bool flag(const char* name, bool fallback) {
    const char* const value = std::getenv(name);
    if (value == nullptr || *value == '\0') return fallback;
    return std::string_view(value) != "0";
}

const std::string& bin_dir() {
    static const std::string dir = setting("SUITE_BIN_DIR", suite_programs::default_bin_dir);
    return dir;
}

const std::string& runner() {
    static const std::string command = setting("SUITE_RUNNER", "");
    return command;
}

void check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string(what) + " failed: " + std::to_string(errno));
}

void write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;  // the reader has gone; the rest is not wanted
        data.remove_prefix(static_cast<std::size_t>(written));
    }
}

void set_limit(int resource, std::optional<std::uint64_t> bytes) {
    if (!bytes) return;
    const rlimit limit{*bytes, *bytes};
    ::setrlimit(resource, &limit);
}

// What a child executes, made before fork: between fork and exec the child
// may not allocate. The suite's executables go behind the runner, split on
// spaces; a finite stack limit is passed on to an emulator as well.
class Command {
public:
    Command(const std::string& path, const RunOptions& options) {
        if (path.starts_with(bin_dir() + "/")) words_ = runner_words();
        words_.push_back(path);
        const bool stack_size = options.stack_limit && *options.stack_limit != RLIM_INFINITY;
        if (stack_size) environment_.push_back("QEMU_STACK_SIZE=" + std::to_string(*options.stack_limit));
        for (char** entry = environ; *entry != nullptr; ++entry) {
            if (!stack_size || !std::string_view(*entry).starts_with("QEMU_STACK_SIZE=")) {
                environment_.emplace_back(*entry);
            }
        }
        for (std::string& word : words_) argv_.push_back(word.data());
        for (std::string& entry : environment_) envp_.push_back(entry.data());
        argv_.push_back(nullptr);
        envp_.push_back(nullptr);
    }
    [[noreturn]] void exec() const {
        ::execvpe(argv_[0], argv_.data(), envp_.data());
        ::_exit(127);
    }

private:
    static std::vector<std::string> runner_words() {
        std::vector<std::string> words;
        std::istringstream words_of_runner{runner()};
        for (std::string word; words_of_runner >> word;) words.push_back(word);
        return words;
    }

    std::vector<std::string> words_;
    std::vector<std::string> environment_;
    std::vector<char*> argv_;
    std::vector<char*> envp_;
};

// In the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void exec_child(const Command& command, int input, int output, int error, const RunOptions& options) {
    ::dup2(input, STDIN_FILENO);
    switch (options.output) {
        case OutputTarget::pipe:
        case OutputTarget::pipe_read_once:
        case OutputTarget::message_socket:
        case OutputTarget::input_file_appended:
        case OutputTarget::input_file_overwritten: ::dup2(output, STDOUT_FILENO); break;
        case OutputTarget::input_file: ::dup2(input, STDOUT_FILENO); break;
        case OutputTarget::dev_full: {
            const int full = ::open("/dev/full", O_WRONLY);
            ::dup2(full, STDOUT_FILENO);
            break;
        }
        case OutputTarget::closed: ::close(STDOUT_FILENO); break;
        case OutputTarget::reader_gone: {
            int gone[2];
            if (::pipe(gone) == 0) {
                ::close(gone[0]);
                ::dup2(gone[1], STDOUT_FILENO);
            }
            break;
        }
    }
    ::dup2(error, STDERR_FILENO);
    if (options.input == InputSource::read_only_descriptor_3) {
        if (input == 3) {
            ::fcntl(input, F_SETFD, 0);
        } else {
            ::dup2(input, 3);
        }
    }
    ::signal(SIGPIPE, SIG_DFL);
    set_limit(RLIMIT_AS, options.address_space_limit);
    set_limit(RLIMIT_STACK, options.stack_limit);
    if (options.refuse_kcmp && !refuse_kcmp()) ::_exit(126);
    command.exec();
}

void record_status(int status, Outcome& outcome) {
    if (WIFEXITED(status)) outcome.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
}

// Standard input of one run as `options` asks for it: the descriptor the
// program reads, the one that stays open here while the program runs (the
// program's own open file, the writer of a pipe, the other side of a
// terminal), or -1, and for a file the descriptor to read it back by.
struct InputEnds {
    int program = -1;
    int kept = -1;
    int file = -1;
};

// The file behind `fd` opened anew, an open file with an offset of its own.
int reopen(int fd, int flags) {
    const int opened = ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), flags | O_CLOEXEC);
    check(opened >= 0, "open");
    return opened;
}

InputEnds make_input(std::string_view input, const RunOptions& options) {
    InputEnds ends;
    const int file = ::memfd_create("stdin", MFD_CLOEXEC);
    check(file >= 0, "memfd_create");
    write_all(file, input);
    ::lseek(file, 0, SEEK_SET);
    switch (options.input) {
        case InputSource::file: return {file, file, file};
        case InputSource::write_only_file: {
            const int write_only = reopen(file, O_WRONLY);
            return {write_only, write_only, file};
        }
        case InputSource::read_only_file:
        case InputSource::read_only_descriptor_3: {
            const int read_only = reopen(file, O_RDONLY);
            return {read_only, read_only, file};
        }
        case InputSource::nonblocking_pipe: {
            int pipe_fds[2];
            check(::pipe2(pipe_fds, O_CLOEXEC) == 0, "pipe2");
            write_all(pipe_fds[1], input);
            ::fcntl(pipe_fds[0], F_SETFL, ::fcntl(pipe_fds[0], F_GETFL) | O_NONBLOCK);
            ends = {pipe_fds[0], pipe_fds[1]};
            break;
        }
        case InputSource::nonblocking_terminal:
        case InputSource::hung_up_terminal: {
            int master = -1;
            int slave = -1;
            check(::openpty(&master, &slave, nullptr, nullptr, nullptr) == 0, "openpty");
            ::fcntl(master, F_SETFD, FD_CLOEXEC);
            ::fcntl(slave, F_SETFD, FD_CLOEXEC);
            if (options.input == InputSource::hung_up_terminal) {
                ::close(slave);
                ends = {master, -1};
                break;
            }
            ::fcntl(slave, F_SETFL, ::fcntl(slave, F_GETFL) | O_NONBLOCK);
            ends = {slave, master};
            break;
        }
        case InputSource::packet_socket: {
            int pair[2];
            check(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) == 0, "socketpair");
            const int size = static_cast<int>(input.size()) + 4096;
            ::setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
            check(::send(pair[1], input.data(), input.size(), 0) == static_cast<ssize_t>(input.size()), "send");
            ::close(pair[1]);
            ends = {pair[0], -1};
            break;
        }
    }
    ::close(file);
    return ends;
}

// A sanitizer's allocator notes each block it refuses on standard error,
// where the C library's malloc writes nothing: the note is not the
// program's.
std::string without_allocator_notes(const std::string& err) {
    static const std::regex note(R"(==[0-9]+==WARNING: [A-Za-z]+Sanitizer failed to allocate 0x[0-9a-f]+ bytes\n)");
    return std::regex_replace(err, note, "");
}

// One run of `command` with `input` as its standard input and, where it is
// not -1, `output` as its standard output; what it writes is added to
// `outcome`, whose status becomes the run's.
void run_once(const Command& command, int input, int output, const RunOptions& options, Outcome& outcome) {
    int out_pipe[2];
    int err_pipe[2];
    check(::pipe2(err_pipe, O_CLOEXEC) == 0, "pipe2");
    if (options.output == OutputTarget::message_socket) {
        check(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, out_pipe) == 0, "socketpair");
        const int smallest = 1;  // the kernel raises it to its least, about 4.5 KiB
        ::setsockopt(out_pipe[1], SOL_SOCKET, SO_SNDBUF, &smallest, sizeof smallest);
    } else {
        check(::pipe2(out_pipe, O_CLOEXEC) == 0, "pipe2");
    }

    const pid_t pid = ::fork();
    check(pid >= 0, "fork");
    if (pid == 0) exec_child(command, input, output >= 0 ? output : out_pipe[1], err_pipe[1], options);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);

    const auto deadline = Clock::now() + options.timeout;
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&outcome.out, &outcome.err};
    int open_count = 2;
    while (open_count > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            outcome.timed_out = true;
            ::kill(pid, SIGKILL);
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char chunk[65536];
            const bool read_once = i == 0 && options.output == OutputTarget::pipe_read_once;
            const ssize_t got = ::read(fds[i].fd, chunk, read_once ? 1 : sizeof chunk);
            if (got > 0) sinks[i]->append(chunk, static_cast<std::size_t>(got));
            if (got == 0 || read_once || (got < 0 && errno != EINTR)) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
    for (const pollfd& fd : fds) {
        if (fd.fd >= 0) ::close(fd.fd);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.exit_code = -1;
    outcome.signal = 0;
    record_status(status, outcome);
}

}  // namespace

Outcome run_program(const std::string& path, std::string_view input, const RunOptions& options) {
    ::signal(SIGPIPE, SIG_IGN);
    const InputEnds input_ends = make_input(input, options);
    // The input file opened a second time, for the output.
    int output = -1;
    if (options.output == OutputTarget::input_file_appended) output = reopen(input_ends.file, O_WRONLY | O_APPEND);
    if (options.output == OutputTarget::input_file_overwritten) output = reopen(input_ends.file, O_RDWR);

    const Command command(path, options);
    Outcome outcome;
    for (int run = 0; run < options.runs && !outcome.timed_out; ++run) {
        run_once(command, input_ends.program, output, options, outcome);
    }
    if (input_ends.program != input_ends.kept) ::close(input_ends.program);
    if (output >= 0) ::close(output);
    outcome.err = without_allocator_notes(outcome.err);
    if (input_ends.file < 0) {
        if (input_ends.kept >= 0) ::close(input_ends.kept);
        return outcome;
    }
    // The child shared its open file, and so its offset, with us.
    write_all(input_ends.kept, options.written_after);
    const off_t offset = ::lseek(input_ends.kept, 0, SEEK_CUR) - static_cast<off_t>(options.written_after.size());
    if (input_ends.kept != input_ends.file) ::close(input_ends.kept);
    const int input_fd = input_ends.file;
    outcome.input_file.resize(static_cast<std::size_t>(::lseek(input_fd, 0, SEEK_END)));
    check(::pread(input_fd, outcome.input_file.data(), outcome.input_file.size(), 0) ==
              static_cast<ssize_t>(outcome.input_file.size()),
          "pread");
    ::close(input_fd);
    if (offset >= 0 && static_cast<std::size_t>(offset) < outcome.input_file.size()) {
        outcome.unread_input = outcome.input_file.substr(static_cast<std::size_t>(offset));
    }
    return outcome;
}

Dialogue::Dialogue(const std::string& path) {
    ::signal(SIGPIPE, SIG_IGN);
    int in_pipe[2];
    int out_pipe[2];
    int err_pipe[2];
    check(::pipe2(in_pipe, O_CLOEXEC) == 0 && ::pipe2(out_pipe, O_CLOEXEC) == 0 && ::pipe2(err_pipe, O_CLOEXEC) == 0,
          "pipe2");
    const Command command(path, RunOptions{});
    pid_ = ::fork();
    check(pid_ >= 0, "fork");
    if (pid_ == 0) exec_child(command, in_pipe[0], out_pipe[1], err_pipe[1], RunOptions{});
    ::close(in_pipe[0]);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    ::close(err_pipe[0]);
    to_child_ = in_pipe[1];
    from_child_ = out_pipe[0];
}

Dialogue::~Dialogue() {
    if (to_child_ >= 0) ::close(to_child_);
    if (from_child_ >= 0) ::close(from_child_);
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool Dialogue::read_some(std::chrono::milliseconds timeout) {
    pollfd fd{from_child_, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(timeout.count())) <= 0) return false;
    char chunk[4096];
    const ssize_t got = ::read(from_child_, chunk, sizeof chunk);
    if (got <= 0) return false;
    seen_.append(chunk, static_cast<std::size_t>(got));
    return true;
}

bool Dialogue::wait_for_output_ending(std::string_view text, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!std::string_view(seen_).ends_with(text)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !read_some(left)) return false;
    }
    return true;
}

void Dialogue::send(std::string_view text) { write_all(to_child_, text); }

Outcome Dialogue::finish(std::chrono::milliseconds timeout) {
    ::close(to_child_);
    to_child_ = -1;
    const auto deadline = Clock::now() + timeout;
    Outcome outcome;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            outcome.timed_out = true;
            ::kill(pid_, SIGKILL);
            break;
        }
        if (!read_some(left)) {
            if (Clock::now() >= deadline) {
                outcome.timed_out = true;
                ::kill(pid_, SIGKILL);
            }
            break;
        }
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    record_status(status, outcome);
    outcome.out = seen_;
    return outcome;
}

std::string program_of(std::string_view executable) {
    return std::string(executable.substr(0, executable.rfind("_b")));
}

std::string read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string sample_input(std::string_view executable) {
    return read_file(std::string(suite_programs::samples_dir) + "/" + program_of(executable) + ".in");
}

std::string executable_path(std::string_view executable) {
    return bin_dir() + "/" + std::string(executable);
}

std::vector<std::string> builds_of(std::string_view program) {
    std::vector<std::string> builds;
    const std::string prefix = std::string(program) + "_b";
    for (const std::string_view executable : suite_programs::executables) {
        if (executable.starts_with(prefix) && executable.size() == prefix.size() + 1) {
            builds.emplace_back(executable);
        }
    }
    return builds;
}

std::vector<std::string> all_executables() {
    return {std::begin(suite_programs::executables), std::end(suite_programs::executables)};
}

bool sanitized_build() {
    static const bool sanitized = flag("SUITE_SANITIZED", suite_programs::default_sanitized);
    return sanitized;
}

bool own_build() {
    static const bool own = flag("SUITE_OWN_BUILD", suite_programs::default_own_build);
    return own;
}

bool emulated() { return !runner().empty(); }

bool refuse_kcmp() {
#if defined(__x86_64__) && defined(SYS_kcmp)
    // kcmp of this machine's programs, and of i386 programs run here, whose
    // number for it is 349; every other call passes.
    constexpr std::uint32_t i386_kcmp = 349;
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 0, 2),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_kcmp, 3, 4),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_I386, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, i386_kcmp, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
#else
    return false;
#endif
}

unsigned address_bits(std::string_view executable) {
    const std::string path = executable_path(executable);
    const std::string header = read_file(path).substr(0, 5);
    if (header == "\177ELF\001") return 32;
    if (header == "\177ELF\002") return 64;
    throw std::runtime_error(path + " is no ELF file of 32 or 64 bits");
}

}  // namespace support
