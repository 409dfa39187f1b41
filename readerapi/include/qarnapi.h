/* QARNAPI: drives one reader over a serial (COM) port.
 *
 * Calling order: StartAPI or QARNStartAPI, QARNOpenReader or TRQOpenReader,
 * reader operations, the matching close, TerminateAPI or QARNTerminateAPI.
 * Calls must not overlap: an application that uses the library from several
 * threads serialises its calls. Every buffer is the caller's; buffers that
 * receive a reply payload must hold 255 bytes.
 */
#ifndef QARNAPI_H
#define QARNAPI_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define QARN_CALL __stdcall
#else
#define QARN_CALL
#endif

#if defined(_WIN32) && defined(QARNAPI_BUILD)
#define QARN_API /* the DLL's .def file names the exports */
#elif defined(_WIN32)
#define QARN_API __declspec(dllimport)
#elif defined(__GNUC__)
#define QARN_API __attribute__((visibility("default")))
#else
#define QARN_API
#endif

/* Result codes. */
#define RC_OK 0            /* success */
#define RC_LOG_E4 228      /* log read answered 'Q', or acknowledgement answered 'S' */
#define RC_LOG_E5 229      /* log read answered 'R' */
#define RC_BAD_HANDLE 239  /* handle differs from the current one; nothing sent */
#define RC_PORT_FAILED 254 /* the COM port could not be opened */
#define RC_FAILED 255      /* no valid reply, unexpected status, or refused input */

#ifdef __cplusplus
extern "C" {
#endif

/* Port, shared by both families. */
QARN_API int32_t QARN_CALL StartAPI(void);
QARN_API int32_t QARN_CALL TerminateAPI(void);
QARN_API int32_t QARN_CALL QARNStartAPI(int32_t port);
QARN_API int32_t QARN_CALL QARNTerminateAPI(void);

/* Waits at least the given milliseconds; returns the tick at which it ended. */
QARN_API uint32_t QARN_CALL delay(uint32_t milliseconds);

/* First family. */
QARN_API int32_t QARN_CALL QARNOpenReader(int32_t *handle, int32_t address);
QARN_API int32_t QARN_CALL QARNCloseReader(int32_t handle);
QARN_API int32_t QARN_CALL QARNSetTime(int32_t handle, const unsigned char *clock);
QARN_API int32_t QARN_CALL QARNGetTime(int32_t handle, unsigned char *clock);
QARN_API int32_t QARN_CALL QARNGetReaderInfo(int32_t handle, unsigned char *info);
QARN_API int32_t QARN_CALL QARNGetFileLen(int32_t handle, uint32_t *length1,
                                          uint32_t *length2, uint32_t *length3);
QARN_API int32_t QARN_CALL QARNSendFile(int32_t handle, int32_t fileType, int32_t length,
                                        int32_t unused1, int32_t unused2,
                                        const unsigned char *data);
QARN_API int32_t QARN_CALL QARNGetLogData(int32_t handle, unsigned char *record,
                                          unsigned char *recordLength);
QARN_API int32_t QARN_CALL QARNGetLogAck(int32_t handle, int32_t value);
QARN_API int32_t QARN_CALL QARNSpecialCommand(int32_t handle, const unsigned char *command,
                                              int32_t commandLength, unsigned char *reply,
                                              unsigned char *replyLength);

/* Second family. */
QARN_API int32_t QARN_CALL TRQOpenReader(int32_t *handle, const unsigned char *identification,
                                         int32_t unused);
QARN_API int32_t QARN_CALL TRQCloseReader(int32_t handle);
QARN_API int32_t QARN_CALL TRQSetTime(int32_t handle, const unsigned char *clock);
QARN_API int32_t QARN_CALL TRQGetTime(int32_t handle, unsigned char *clock);
QARN_API int32_t QARN_CALL TRQGetInfoV1(int32_t handle, unsigned char *info);
QARN_API int32_t QARN_CALL TRQSendFile(int32_t handle, int32_t fileType, int32_t length,
                                       int32_t unused1, int32_t unused2,
                                       const unsigned char *data);
QARN_API int32_t QARN_CALL TRQGetLogEntry(int32_t handle, unsigned char *record,
                                          unsigned char *recordLength);
QARN_API int32_t QARN_CALL TRQUserCommand(int32_t handle, const unsigned char *command,
                                          int32_t commandLength, unsigned char *reply,
                                          unsigned char *replyLength);

#ifdef __cplusplus
}
#endif

#endif
