// Shows a program's dialogue on a sample input as a person at a terminal
// would see it: each line of the sample is typed only once the program waits
// for input, right after everything the program printed before, and is shown
// as the terminal's echo would show it.
//   show_dialogue <executable> <sample input>
//
// The programs write all pending output before any read that may block, so
// the program waits for its next line exactly when it sleeps in a read of
// its standard input while that input is empty; /proc tells when that is.
// Once the sample is used up, the program's input is closed (as Ctrl-D).
// The exit status is shown when it is not 0.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "show_dialogue: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(2);
}

void write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno == EPIPE && fd == STDOUT_FILENO) {
            // The reader of the dialogue has gone (as `| head`): end quietly.
            ::signal(SIGPIPE, SIG_DFL);
            ::raise(SIGPIPE);
        }
        if (written <= 0) fail("write");
        data.remove_prefix(static_cast<std::size_t>(written));
    }
}

std::string read_text(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The lines of the sample, each with its line break.
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

// True when the process sleeps in a read of descriptor 0 while nothing is
// left to read there: it waits for the next line and cannot go on without
// it.  Where the kernel does not show the system call, the sleep alone is
// taken as the sign.
bool waits_for_input(pid_t pid, int unread_input) {
    int unread = 0;
    if (::ioctl(unread_input, FIONREAD, &unread) != 0) fail("FIONREAD");
    if (unread > 0) return false;
    const std::string proc = "/proc/" + std::to_string(pid);
    const std::string stat = read_text(proc + "/stat");
    const std::size_t name_end = stat.rfind(')');
    if (name_end == std::string::npos) fail("reading " + proc + "/stat (is /proc mounted?)");
    if (stat.compare(name_end, 3, ") S") != 0) return false;
    const std::string call = read_text(proc + "/syscall");
    return call.empty() || call.starts_with(std::to_string(SYS_read) + " 0x0 ");
}

// Everything shown so far, the program's output and the echo of the typed
// lines, ends with a line break.
bool at_line_start = true;

void show(std::string_view text) {
    write_all(STDOUT_FILENO, text);
    at_line_start = text.ends_with('\n');
}

// Shows what the program has written so far; false once the program has
// closed its output.
bool pass_output(int from_program) {
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(from_program, chunk, sizeof chunk);
        if (got > 0) {
            show(std::string_view(chunk, static_cast<std::size_t>(got)));
        } else if (got == 0) {
            return false;
        } else if (errno == EAGAIN) {
            return true;
        } else if (errno != EINTR) {
            fail("read");
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: show_dialogue <executable> <sample input>\n");
        return 2;
    }
    const std::vector<std::string> lines = lines_of(read_text(argv[2]));
    ::signal(SIGPIPE, SIG_IGN);

    int input[2];
    int output[2];
    if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0) fail("pipe2");
    const pid_t pid = ::fork();
    if (pid < 0) fail("fork");
    if (pid == 0) {
        ::dup2(input[0], STDIN_FILENO);
        ::dup2(output[1], STDOUT_FILENO);
        ::signal(SIGPIPE, SIG_DFL);
        char* const arguments[] = {argv[1], nullptr};
        ::execv(argv[1], arguments);
        ::_exit(127);
    }
    ::close(output[1]);
    // input[0] stays open here only to see whether the program has taken
    // everything typed so far.
    if (::fcntl(output[0], F_SETFL, O_NONBLOCK) != 0) fail("fcntl");

    std::size_t next_line = 0;
    for (bool open = true; open;) {
        pollfd ready{output[0], POLLIN, 0};
        if (::poll(&ready, 1, 2) > 0) {
            open = pass_output(output[0]);
        } else if (input[1] >= 0 && waits_for_input(pid, input[0])) {
            // Asleep in the read, the program writes nothing more: what it
            // printed before is all in the pipe now.
            open = pass_output(output[0]);
            if (next_line < lines.size()) {
                show(lines[next_line]);  // the echo
                write_all(input[1], lines[next_line++]);
            } else {
                ::close(input[1]);
                input[1] = -1;
            }
        }
    }
    if (input[1] >= 0) ::close(input[1]);  // should it still read, it finds the end
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) fail("waitpid");
    }
    if (!at_line_start) show("\n");
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        show("[exit status " + std::to_string(WEXITSTATUS(status)) + "]\n");
    } else if (WIFSIGNALED(status)) {
        show("[ended by signal " + std::to_string(WTERMSIG(status)) + ", " + strsignal(WTERMSIG(status)) + "]\n");
    }
    return 0;
}
