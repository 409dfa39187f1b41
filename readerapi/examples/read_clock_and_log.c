/* Opens the reader on COM1, reads its clock and fetches its log, record by
 * record, acknowledging each. On Linux, name the port with the environment
 * variable COM1, for example the path the reader simulator prints. */
#include "qarnapi.h"

#include <stdio.h>

#define MAX_RECORDS 1000

static int fetchLog(int32_t handle)
{
    unsigned char record[255];
    unsigned char length = 0;
    int count = 0;
    while (count < MAX_RECORDS) {
        int32_t rc = QARNGetLogData(handle, record, &length);
        if (rc == RC_LOG_E4) {
            printf("log: no more records\n");
            return count;
        }
        if (rc != RC_OK) {
            fprintf(stderr, "log: fetching failed with %d\n", (int)rc);
            return -1;
        }
        printf("log record %d (%u bytes):", count + 1, (unsigned)length);
        for (unsigned i = 0; i < length; ++i)
            printf(" %02X", record[i]);
        printf("\n");
        ++count;
        if (QARNGetLogAck(handle, 0) != RC_OK) {
            fprintf(stderr, "log: the reader refused the acknowledgement\n");
            return -1;
        }
    }
    return count;
}

int main(void)
{
    if (QARNStartAPI(1) != RC_OK)
        return 1;

    int32_t handle = -1;
    int32_t rc = QARNOpenReader(&handle, 1);
    if (rc != RC_OK) {
        fprintf(stderr, "open reader: failed with %d\n", (int)rc);
        QARNTerminateAPI();
        return 1;
    }

    unsigned char clock[7];
    rc = QARNGetTime(handle, clock);
    if (rc == RC_OK)
        printf("reader clock: year %02u, %02u-%02u %02u:%02u:%02u, day of week %u\n", clock[0],
               clock[1], clock[2], clock[3], clock[4], clock[5], clock[6]);
    else
        fprintf(stderr, "clock: failed with %d\n", (int)rc);

    int records = rc == RC_OK ? fetchLog(handle) : -1;

    QARNCloseReader(handle);
    QARNTerminateAPI();
    return records < 0 ? 1 : 0;
}
