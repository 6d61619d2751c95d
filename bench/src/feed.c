/* feed FILE PROGRAM: runs PROGRAM with FILE as its standard input, so that
 * a benchmark can give a program its input without starting a shell.  It
 * is linked statically and costs one execve more than a direct start, the
 * same for every program measured through it. */
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        fputs("usage: feed FILE PROGRAM\n", stderr);
        return 2;
    }
    const int fd = open(argv[1], O_RDONLY);
    if (fd < 0 || dup2(fd, STDIN_FILENO) < 0) {
        perror(argv[1]);
        return 2;
    }
    close(fd);
    execv(argv[2], argv + 2);
    perror(argv[2]);
    return 2;
}
