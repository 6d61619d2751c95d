/* feed FILE PROGRAM: runs PROGRAM with FILE as its standard input, so that
   hyperfine -N times a program on an input without a shell.  Linked
   statically: one execve more than a direct start, the same for all. */
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

int main(int argc, char** argv) {
    const int fd = argc > 2 ? open(argv[1], O_RDONLY) : -1;
    if (fd < 0 || dup2(fd, STDIN_FILENO) < 0) return perror("feed FILE PROGRAM"), 2;
    close(fd);
    execv(argv[2], argv + 2);
    perror(argv[2]);
    return 2;
}
