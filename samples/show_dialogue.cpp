// Shows a program's dialogue on a sample input as a person at a terminal
// would see it: first the command line that starts it, then the dialogue.
// The program runs on a pseudo-terminal, as at a real one: the C library
// writes a pending prompt before it waits for a line, and the terminal
// echoes what is typed.  Each line of the sample is typed only once the
// program waits for input.  A program that waits for its first line before
// it has printed anything gives no prompt, and echoed lines would run into
// its output: it is shown with the sample piped in by printf, and its
// output alone follows (the terminal then echoes nothing).
//   show_dialogue <executable> <sample input>
//
// The program waits for its next line exactly when it sleeps in a read of
// its standard input while that input is empty; /proc tells when that is.
// Once the sample is used up, the end of input is typed (Ctrl-D).  The exit
// status is shown when it is not 0.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
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

// The text as one word of a shell command line: as it is when no character
// in it means anything to the shell, else in single quotes.
std::string shell_word(std::string_view text) {
    const auto plain = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || (c != '\0' && std::strchr("_./-", c) != nullptr);
    };
    if (!text.empty() && std::all_of(text.begin(), text.end(), plain)) return std::string(text);
    std::string word = "'";
    for (const char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

// The printf command that prints exactly the text: line breaks and tabs as
// \n and \t, other control characters and bytes beyond ASCII in octal, and
// the characters that printf takes as its own doubled or escaped.
std::string printf_command(std::string_view text) {
    std::string format;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            format += "\\n";
        } else if (c == '\t') {
            format += "\\t";
        } else if (c == '\\') {
            format += "\\\\";
        } else if (c == '%') {
            format += "%%";
        } else if (byte < 0x20 || byte >= 0x7f) {
            char octal[5];
            std::snprintf(octal, sizeof octal, "\\%03o", static_cast<unsigned>(byte));
            format += octal;
        } else {
            format += c;
        }
    }
    // A format that starts with '-' would be taken for an option.
    return (format.starts_with('-') ? "printf -- " : "printf ") + shell_word(format);
}

// True when the process sleeps in a read of descriptor 0 while nothing
// typed is left to read there: it waits for the next line and cannot go on
// without it.  Where the kernel does not show the system call, the sleep alone is
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
    if (text.empty()) return;
    write_all(STDOUT_FILENO, text);
    at_line_start = text.ends_with('\n');
}

// Adds what the program has written so far to `printed`; false once the
// program has closed its output.
bool take_output(int from_program, std::string& printed) {
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(from_program, chunk, sizeof chunk);
        if (got > 0) {
            printed.append(chunk, static_cast<std::size_t>(got));
        } else if (got == 0 || errno == EIO) {  // the program's side of the terminal is closed
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
    const std::string sample = read_text(argv[2]);
    const std::vector<std::string> lines = lines_of(sample);
    ::signal(SIGPIPE, SIG_IGN);

    // The terminal: echo on, and line breaks passed as they are (no
    // carriage returns added), so that the screen is the bytes shown.
    int terminal = -1;
    int program_side = -1;
    if (::openpty(&terminal, &program_side, nullptr, nullptr, nullptr) != 0) fail("openpty");
    termios settings{};
    if (::tcgetattr(program_side, &settings) != 0) fail("tcgetattr");
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    if (::tcsetattr(program_side, TCSANOW, &settings) != 0) fail("tcsetattr");
    const pid_t pid = ::fork();
    if (pid < 0) fail("fork");
    if (pid == 0) {
        ::setsid();
        ::ioctl(program_side, TIOCSCTTY, 0);
        ::dup2(program_side, STDIN_FILENO);
        ::dup2(program_side, STDOUT_FILENO);
        ::close(terminal);
        ::signal(SIGPIPE, SIG_DFL);
        char* const arguments[] = {argv[1], nullptr};
        ::execv(argv[1], arguments);
        ::_exit(127);
    }
    // program_side stays open here only to see whether the program has
    // taken everything typed so far.
    if (::fcntl(terminal, F_SETFL, O_NONBLOCK) != 0) fail("fcntl");

    // The command line comes first, and its form is known only once the
    // program first waits for input, or ends: until then its output is held.
    bool started = false;
    bool piped = false;   // no prompt: the sample goes in through printf, not echoed
    std::string printed;  // the program's output not shown yet
    std::size_t next_line = 0;
    bool typing = true;  // the end of input is not typed yet
    int status = 0;
    for (bool running = true; running;) {
        pollfd ready{terminal, POLLIN, 0};
        bool waits = false;
        if (::poll(&ready, 1, 2) > 0) {
            take_output(terminal, printed);
        } else if (::waitpid(pid, &status, WNOHANG) == pid) {
            take_output(terminal, printed);
            running = false;
        } else if (typing && waits_for_input(pid, program_side)) {
            // Asleep in the read, the program writes nothing more: what it
            // printed before is all on the terminal now.
            take_output(terminal, printed);
            waits = true;
        }
        if (!started && (waits || !running)) {
            started = true;
            piped = waits && printed.empty();
            std::string command = shell_word(argv[1]);
            if (piped) {
                command = printf_command(sample) + " | " + command;
                settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
                if (::tcsetattr(program_side, TCSANOW, &settings) != 0) fail("tcsetattr");
            }
            show("$ " + command + "\n");
        }
        if (started) {
            show(printed);
            printed.clear();
        }
        if (waits) {
            if (next_line < lines.size()) {
                write_all(terminal, lines[next_line++]);
            } else {
                write_all(terminal, std::string(1, static_cast<char>(settings.c_cc[VEOF])));
                typing = false;
            }
        }
    }
    if (!at_line_start) show("\n");
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        show("[exit status " + std::to_string(WEXITSTATUS(status)) + "]\n");
    } else if (WIFSIGNALED(status)) {
        show("[ended by signal " + std::to_string(WTERMSIG(status)) + ", " + strsignal(WTERMSIG(status)) + "]\n");
    }
    return 0;
}
