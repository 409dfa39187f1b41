/*
 * serwyn: a flat, port-numbered serial-port interface.
 *
 * Ports are numbered 0 to 15; port p is the device COM(p+1): on Windows
 * \\.\COMn; on Linux the device named by the environment variable COMn
 * when it is set (COM1=/dev/ttyUSB0), else /dev/ttyS(n-1). A port is opened
 * for exclusive use: a second open of the same device, from this process or
 * another, is refused.
 *
 * On 32-bit Windows the functions are stdcall and serwyn.dll exports them
 * under their plain names (SioReset, not _SioReset@12).
 *
 * Every function returns a 32-bit integer: a value of 0 or more on success,
 * one of the SIO_ error codes below on failure. Reads never wait: they return
 * at once with what has arrived. The library keeps no lock; callers serialise
 * their calls, even on different ports.
 */
#ifndef SERWYN_H
#define SERWYN_H

/* Calling convention of every function: stdcall on 32-bit Windows. */
#if defined(_WIN32) && !defined(_WIN64)
#define SERWYN_CALL __stdcall
#else
#define SERWYN_CALL
#endif

#if defined(_WIN32)
#if defined(SERWYN_BUILDING)
#define SERWYN_API /* the DLL's module-definition file names the exports */
#else
#define SERWYN_API __declspec(dllimport)
#endif
#else
#define SERWYN_API __attribute__((visibility("default")))
#endif

/* Error codes. */
#define SIO_BAD_PORT (-1)    /* port number below 0 or above 15 */
#define SIO_NOT_OPEN (-3)    /* the port is not open */
#define SIO_RX_EMPTY (-100)  /* SioGetc: nothing pushed back or received */
#define SIO_BAD_CMD (-101)   /* SioDTR, SioRTS, SioBrkSig: unknown command */
#define SIO_OS_ERROR (-103)  /* a system call failed; SioWinError tells which */

/* Line-error flags reported by SioStatus. */
#define SIO_CE_RXOVER 0x0001   /* receive buffer overflow */
#define SIO_CE_OVERRUN 0x0002  /* character lost by the hardware */
#define SIO_CE_RXPARITY 0x0004 /* parity error */
#define SIO_CE_FRAME 0x0008    /* framing error */
#define SIO_CE_BREAK 0x0010    /* break received */

#ifdef __cplusplus
extern "C" {
#endif

/* Opening, line setup and closing. */
SERWYN_API int SERWYN_CALL SioReset(int port, int inQueue, int outQueue);
SERWYN_API int SERWYN_CALL SioDone(int port);
SERWYN_API int SERWYN_CALL SioBaud(int port, int baud);
SERWYN_API int SERWYN_CALL SioParms(int port, int parity, int stopBits, int dataBits);
SERWYN_API int SERWYN_CALL SioFlow(int port, int mode);

/* Data transfer. */
SERWYN_API int SERWYN_CALL SioPutc(int port, int ch);
SERWYN_API int SERWYN_CALL SioPuts(int port, const char *buffer, int length);
SERWYN_API int SERWYN_CALL SioGetc(int port);
SERWYN_API int SERWYN_CALL SioGets(int port, char *buffer, int length);
SERWYN_API int SERWYN_CALL SioUnGetc(int port, int ch);
SERWYN_API int SERWYN_CALL SioRxClear(int port);
SERWYN_API int SERWYN_CALL SioTxClear(int port);
SERWYN_API int SERWYN_CALL SioTxQue(int port);
SERWYN_API int SERWYN_CALL SioRxQue(int port);
SERWYN_API int SERWYN_CALL SioRead(int port, int reg);

/* Modem lines, status and errors. */
SERWYN_API int SERWYN_CALL SioDTR(int port, int cmd);
SERWYN_API int SERWYN_CALL SioRTS(int port, int cmd);
SERWYN_API int SERWYN_CALL SioCTS(int port);
SERWYN_API int SERWYN_CALL SioDSR(int port);
SERWYN_API int SERWYN_CALL SioRI(int port);
SERWYN_API int SERWYN_CALL SioDCD(int port);
SERWYN_API int SERWYN_CALL SioBrkSig(int port, int cmd);
SERWYN_API int SERWYN_CALL SioStatus(int port, int mask);
SERWYN_API int SERWYN_CALL SioInfo(int selector);
SERWYN_API int SERWYN_CALL SioDebug(int value);
SERWYN_API int SERWYN_CALL SioWinError(char *buffer, int size);

#ifdef __cplusplus
}
#endif

#endif /* SERWYN_H */
