/* Opens the reader on COM1 through QARNAPI and prints its clock. Non-zero
 * exit on any failure. */
#include <qarnapi.h>

#include <stdio.h>

int main(void)
{
    if (QARNStartAPI(1) != RC_OK) {
        fprintf(stderr, "qarnapi consumer: COM1 cannot be opened\n");
        return 1;
    }
    int32_t handle = -1;
    int32_t rc = QARNOpenReader(&handle, 1);
    unsigned char clock[7] = {0};
    if (rc == RC_OK)
        rc = QARNGetTime(handle, clock);
    if (rc != RC_OK) {
        fprintf(stderr, "qarnapi consumer: reading the clock failed (%d)\n", (int)rc);
        QARNTerminateAPI();
        return 1;
    }
    printf("qarnapi consumer: reader clock: year %02u, %02u-%02u %02u:%02u:%02u\n", clock[0], clock[1],
           clock[2], clock[3], clock[4], clock[5]);
    QARNCloseReader(handle);
    QARNTerminateAPI();
    return 0;
}
