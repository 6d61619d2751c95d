// Runs the suite's executables as a user would: bytes on standard input,
// bytes and exit status back. Which folder of executables is under test is
// read from the environment when the tests run, so that one test build
// judges any folder: SUITE_BIN_DIR (default: the test build's own),
// SUITE_RUNNER (put in front of each executable, such as "qemu-s390x -L
// /usr/s390x-linux-gnu"), SUITE_SANITIZED and SUITE_OWN_BUILD (1 or 0).
// Helpers the tests build for this machine, such as quick_sort_probe, are
// started as they are.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace support {

enum class OutputTarget {
    pipe,            // captured into Outcome::out
    dev_full,        // every write fails with ENOSPC
    closed,          // descriptor 1 is not open
    pipe_read_once,  // a pipe whose reader takes a single byte and then goes away
    reader_gone,     // a pipe whose reader has gone before the program starts
    // A socket that carries messages and refuses any of over about 4 KiB
    // (EMSGSIZE); captured into Outcome::out.
    message_socket,
    // The input file itself, one open file for reading and writing, as with
    // "program <> file >&0"; what it holds afterwards is Outcome::input_file.
    input_file,
    // The input file opened a second time, an open file with an offset of
    // its own: for appending, as with "program < file >> file", or for
    // reading and writing from its start, as with "program < file 1<>
    // file", where the output is laid over the input from byte 0.
    input_file_appended,
    input_file_overwritten,
};

// Where standard input comes from.
enum class InputSource {
    file,  // a file holding the input, from its start
    // The file opened for writing only, as standard output too, as with
    // "program > file 0>&1": reading it fails (EBADF).
    write_only_file,
    // The file opened for reading only, as with "program < file".
    read_only_file,
    // The file opened once for reading only and read by the program as its
    // standard input and its descriptor 3, as with "exec 3< file; program
    // <&3": the descriptor stays open here, for the next reader.
    read_only_descriptor_3,
    // A pipe whose writer has sent the input and stays, the reading end
    // non-blocking: the program's reads fail with EAGAIN once it is empty.
    nonblocking_pipe,
    // A terminal (the slave of a pseudo-terminal) left non-blocking, with
    // nothing typed: reads fail with EAGAIN.
    nonblocking_terminal,
    // The controlling side of a pseudo-terminal whose terminal side has
    // closed: reads fail with EIO.
    hung_up_terminal,
    // A socket that carries packets, the input sent as one message and the
    // socket then closed (SOCK_SEQPACKET).
    packet_socket,
};

struct RunOptions {
    std::optional<std::uint64_t> address_space_limit;  // bytes, as ulimit -v
    // Bytes, as ulimit -s. A finite limit is also passed on as
    // QEMU_STACK_SIZE: an emulator gives the program a stack of its own
    // size otherwise, whatever limit the program sees through getrlimit.
    std::optional<std::uint64_t> stack_limit;
    OutputTarget output = OutputTarget::pipe;
    InputSource input = InputSource::file;
    // Written to the input file through its shared offset once the program
    // has ended, as by the next command of "{ program; echo NEXT; } > file".
    std::string written_after;
    // The program runs this many times in turn on the same descriptors, as
    // "program <&3 >> file; program <&3 >> file"; Outcome::out and err are
    // what all the runs wrote, the status is the last run's.
    int runs = 1;
    // kcmp(2) fails with EPERM for the program, as under a filter of system
    // calls that refuses it; the filter is installed between fork and exec.
    bool refuse_kcmp = false;
    std::chrono::seconds timeout{120};
};

struct Outcome {
    std::string out;
    std::string err;
    int exit_code = -1;  // valid when signal == 0
    int signal = 0;      // the signal that ended the process, if any
    bool timed_out = false;
    // What a next reader of the same input file would find: the input from
    // the offset at which the program left it.
    std::string unread_input;
    // The whole input file after the run.
    std::string input_file;
};

// Runs `path` with `input` on standard input and waits for it to end;
// behind the runner when `path` is in the folder of the suite's executables.
Outcome run_program(const std::string& path, std::string_view input, const RunOptions& options = {});

// A program driven through pipes, answer by answer, as a person at a
// terminal would: each answer is sent only after its prompt has appeared.
class Dialogue {
public:
    explicit Dialogue(const std::string& path);
    ~Dialogue();
    Dialogue(const Dialogue&) = delete;
    Dialogue& operator=(const Dialogue&) = delete;

    // Waits until the output seen so far ends with `text`; false on timeout
    // or when the program closes its output first.
    bool wait_for_output_ending(std::string_view text, std::chrono::milliseconds timeout);
    void send(std::string_view text);
    // Closes the program's input and collects the rest of its output.
    Outcome finish(std::chrono::milliseconds timeout);
    const std::string& output() const { return seen_; }

private:
    bool read_some(std::chrono::milliseconds timeout);

    pid_t pid_ = -1;
    int to_child_ = -1;
    int from_child_ = -1;
    std::string seen_;
};

// The program an executable is a build of: "quick_sort" for "quick_sort_b2".
std::string program_of(std::string_view executable);
// The whole content of a file, byte for byte.
std::string read_file(const std::string& path);
// The sample input of the program an executable is a build of.
std::string sample_input(std::string_view executable);

// Full paths of the built executables.
std::string executable_path(std::string_view executable);
// "<program>_b0", "<program>_b1", ... as built.
std::vector<std::string> builds_of(std::string_view program);
// Every executable of the suite.
std::vector<std::string> all_executables();
// True when the executables carry AddressSanitizer, which reserves more
// address space than any small ulimit -v allows.
bool sanitized_build();
// True when this project built the executables with its own flags: tests of
// how a build is linked apply to those only.
bool own_build();
// True when the executables run behind a runner, an emulator for another
// machine: resource limits then bind the emulator as well as the program.
bool emulated();
// Installs in this process, for good, the filter of system calls that
// makes kcmp(2) fail with EPERM; false where this machine has no such
// filter. Only async-signal-safe calls: a child may call it before exec.
bool refuse_kcmp();
// 32 or 64: the width of addresses of the machine an executable is built
// for, from the class byte of its ELF header.
unsigned address_bits(std::string_view executable);

}  // namespace support
