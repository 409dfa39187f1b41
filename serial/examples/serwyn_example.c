/*
 * Talks to a device on COM3 at 9600 baud, 8 data bits, no parity, 1 stop
 * bit: sends one line and prints the line the device answers.
 *
 *   COM3=/dev/ttyUSB0 serwyn-example [text]
 */
#include "serwyn.h"

#include <stdio.h>
#include <string.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

enum { PORT = 2 };       /* COM3 */
enum { RATE_CODE_9600 = 5 };
enum { NO_PARITY = 0, ONE_STOP_BIT = 0 };

static int fail(const char *what, int code)
{
    char text[128];
    if (code == SIO_OS_ERROR) {
        int system = SioWinError(text, sizeof text);
        fprintf(stderr, "example: %s failed: %s (code %d)\n", what, text, system);
    } else {
        fprintf(stderr, "example: %s failed with %d\n", what, code);
    }
    return 1;
}

static void pause10ms(void)
{
#ifdef _WIN32
    Sleep(10);
#else
    struct timespec wait = {0, 10 * 1000 * 1000};
    nanosleep(&wait, NULL);
#endif
}

int main(int argc, char **argv)
{
    char line[256];
    const char *text = argc > 1 ? argv[1] : "hello from serwyn";
    int length, got = 0, waited, rc;

    /* Each line shows at once, also through a pipe. (Line buffering would
       do that too, but the Windows C runtime refuses it.) */
    setvbuf(stdout, NULL, _IONBF, 0);

    rc = SioReset(PORT, 1024, 1024);
    if (rc < 0)
        return fail("opening COM3", rc);
    if (!SioBaud(PORT, RATE_CODE_9600)) {
        SioDone(PORT);
        return fail("setting 9600 baud", 0);
    }
    SioParms(PORT, NO_PARITY, ONE_STOP_BIT, 8);
    SioFlow(PORT, 'N');
    printf("example: COM3 open at 9600 baud, 8N1\n");

    length = snprintf(line, sizeof line, "%s\n", text);
    rc = SioPuts(PORT, line, length);
    if (rc < 0) {
        SioDone(PORT);
        return fail("sending", rc);
    }
    printf("example: sent %d bytes: %s\n", rc, text);

    /* Reads never wait, so poll for the answer for up to five seconds. */
    for (waited = 0; waited < 500; ++waited) {
        rc = SioGets(PORT, line + got, (int)sizeof line - 1 - got);
        if (rc < 0) {
            SioDone(PORT);
            return fail("receiving", rc);
        }
        got += rc;
        if (got > 0 && line[got - 1] == '\n')
            break;
        if (rc == 0)
            pause10ms();
    }
    SioDone(PORT);
    if (got == 0 || line[got - 1] != '\n') {
        fprintf(stderr, "example: no answer from the device\n");
        return 1;
    }
    line[got - 1] = '\0';
    printf("example: received %d bytes: %s\n", got, line);
    return 0;
}
