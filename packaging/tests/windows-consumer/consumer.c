/* An application of the two DLLs as the Windows zip ships them, built with
 * no C runtime so that any compiler and linker for Windows can build it:
 * reads the reader's clock on COM1 through QARNAPI, then sends a line to the
 * device on COM3 through serwyn and reads its answer. Prints one line for
 * each; exits with 0 when both worked.
 *
 * The entry point is consumerMain (no C runtime start-up runs). */
#include <qarnapi.h>
#include <serwyn.h>

/* The KERNEL32 functions used, declared as the system's headers do. */
#if defined(_WIN64)
#define SYSTEM_CALL
#else
#define SYSTEM_CALL __stdcall
#endif
#define STD_OUTPUT_HANDLE ((unsigned long)-11)
__declspec(dllimport) void *SYSTEM_CALL GetStdHandle(unsigned long which);
__declspec(dllimport) int SYSTEM_CALL WriteFile(void *file, const void *data, unsigned long size,
                                                unsigned long *written, void *overlapped);
__declspec(dllimport) void SYSTEM_CALL Sleep(unsigned long milliseconds);
__declspec(dllimport) void SYSTEM_CALL ExitProcess(unsigned int code);

enum { READER_PORT = 1, READER_ADDRESS = 1 };   /* QARNAPI numbers ports from COM1 = 1 */
enum { DEVICE_PORT = 2 };                       /* serwyn numbers them from COM1 = 0: COM3 */
enum { RATE_9600 = 5, NO_PARITY = 0, ONE_STOP_BIT = 0, EIGHT_BITS = 8 };

static void print(const char *text)
{
    unsigned long length = 0, written = 0;
    while (text[length] != '\0')
        ++length;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, length, &written, 0);
}

/* Prints a number of at least `digits` digits (leading zeros). */
static void printNumber(long value, int digits)
{
    char text[16];
    int at = 15;
    int negative = value < 0;
    unsigned long rest = negative ? 0ul - (unsigned long)value : (unsigned long)value;
    text[at] = '\0';
    do {
        text[--at] = (char)('0' + rest % 10);
        rest /= 10;
        --digits;
    } while (rest != 0 || digits > 0);
    if (negative)
        text[--at] = '-';
    print(text + at);
}

static int fail(const char *what, long code)
{
    print("consumer: ");
    print(what);
    print(" failed (");
    printNumber(code, 1);
    print(")\n");
    return 1;
}

static int readClock(void)
{
    int32_t handle = -1, rc;
    unsigned char clock[7];
    int i;
    if ((rc = QARNStartAPI(READER_PORT)) != RC_OK)
        return fail("QARNStartAPI(1)", rc);
    if ((rc = QARNOpenReader(&handle, READER_ADDRESS)) != RC_OK) {
        QARNTerminateAPI();
        return fail("QARNOpenReader", rc);
    }
    for (i = 0; i < 7; ++i)
        clock[i] = 0;
    rc = QARNGetTime(handle, clock);
    QARNCloseReader(handle);
    QARNTerminateAPI();
    if (rc != RC_OK)
        return fail("QARNGetTime", rc);
    /* Opening the reader set its clock from the computer's local time. */
    print("consumer: reader clock: year ");
    printNumber(clock[0], 2);
    print(", ");
    printNumber(clock[1], 2);
    print("-");
    printNumber(clock[2], 2);
    print(" ");
    printNumber(clock[3], 2);
    print(":");
    printNumber(clock[4], 2);
    print("\n");
    return 0;
}

static int exchangeLine(void)
{
    static const char line[] = "ping\n";
    char answer[8];
    int rc, waited, i;
    if ((rc = SioReset(DEVICE_PORT, 1024, 1024)) < 0)
        return fail("SioReset(COM3)", rc);
    if (!SioBaud(DEVICE_PORT, RATE_9600)) {
        SioDone(DEVICE_PORT);
        return fail("SioBaud", 0);
    }
    SioParms(DEVICE_PORT, NO_PARITY, ONE_STOP_BIT, EIGHT_BITS);
    SioRxClear(DEVICE_PORT);
    if ((rc = SioPuts(DEVICE_PORT, line, 5)) != 5) {
        SioDone(DEVICE_PORT);
        return fail("SioPuts", rc);
    }
    /* The device answers within its 10 seconds, or not at all. */
    for (waited = 0; SioRxQue(DEVICE_PORT) < 5 && waited < 1000; ++waited)
        Sleep(10);
    for (i = 0; i < 8; ++i)
        answer[i] = '\0';
    rc = SioGets(DEVICE_PORT, answer, 5);
    SioDone(DEVICE_PORT);
    if (rc != 5)
        return fail("SioGets", rc);
    answer[4] = '\0';   /* the line end */
    print("consumer: COM3 sent ping, received ");
    print(answer);
    print("\n");
    return 0;
}

void consumerMain(void)
{
    int failed = readClock();
    failed |= exchangeLine();
    ExitProcess(failed ? 1u : 0u);
}
