/* Opens a pseudo-terminal as COM1 through serwyn and exchanges a few bytes
 * with the far side. Prints what it received; non-zero exit on any failure. */
#define _XOPEN_SOURCE 600
#include <serwyn.h>

#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int fail(const char *what, int rc)
{
    fprintf(stderr, "serwyn consumer: %s failed (%d)\n", what, rc);
    return 1;
}

/* Waits for `length` bytes on the far side of the terminal, up to 5 s. */
static int readFarSide(int fd, char *buffer, int length)
{
    int got = 0;
    while (got < length) {
        struct pollfd ready = {fd, POLLIN, 0};
        if (poll(&ready, 1, 5000) != 1)
            return got;
        ssize_t n = read(fd, buffer + got, (size_t)(length - got));
        if (n <= 0)
            return got;
        got += (int)n;
    }
    return got;
}

int main(void)
{
    int farSide = posix_openpt(O_RDWR | O_NOCTTY);
    if (farSide < 0 || grantpt(farSide) != 0 || unlockpt(farSide) != 0)
        return fail("posix_openpt", -1);
    setenv("COM1", ptsname(farSide), 1);

    int rc = SioReset(0, 1024, 1024);
    if (rc < 0)
        return fail("SioReset(COM1)", rc);

    if ((rc = SioPuts(0, "ping", 4)) != 4)
        return fail("SioPuts", rc);
    char sent[5] = {0};
    if (readFarSide(farSide, sent, 4) != 4 || strcmp(sent, "ping") != 0)
        return fail("reading on the far side", -1);

    if (write(farSide, "pong", 4) != 4)
        return fail("writing on the far side", -1);
    for (int waited = 0; SioRxQue(0) < 4 && waited < 500; ++waited)
        usleep(10000);
    char received[5] = {0};
    if ((rc = SioGets(0, received, 4)) != 4 || strcmp(received, "pong") != 0)
        return fail("SioGets", rc);

    SioDone(0);
    close(farSide);
    printf("serwyn consumer: COM1 sent %s, received %s\n", sent, received);
    return 0;
}
