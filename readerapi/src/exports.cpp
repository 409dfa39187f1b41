// The exported C functions: one library-wide session over the system's link.
#include "platform.h"
#include "qarnapi.h"
#include "reader_session.h"

namespace {

qarn::ReaderSession session(qarn::SystemLink());

} // namespace

extern "C" {

int32_t QARN_CALL StartAPI(void) { return qarn::StartApi(session, 1); }
int32_t QARN_CALL TerminateAPI(void) { return qarn::TerminateApi(session); }

int32_t QARN_CALL QARNStartAPI(int32_t port)
{
    return qarn::StartApi(session, static_cast<uint16_t>(port));
}

int32_t QARN_CALL QARNTerminateAPI(void) { return qarn::TerminateApi(session); }

uint32_t QARN_CALL delay(uint32_t milliseconds) { return session.link.delay(milliseconds); }

int32_t QARN_CALL QARNOpenReader(int32_t *handle, int32_t address)
{
    return qarn::OpenReader(session, handle, address);
}

int32_t QARN_CALL QARNCloseReader(int32_t handle) { return qarn::CloseReader(session, handle); }

int32_t QARN_CALL QARNSetTime(int32_t handle, const unsigned char *clock)
{
    return qarn::SetTime(session, handle, clock);
}

int32_t QARN_CALL QARNGetTime(int32_t handle, unsigned char *clock)
{
    return qarn::GetTime(session, handle, clock);
}

int32_t QARN_CALL QARNGetReaderInfo(int32_t handle, unsigned char *info)
{
    return qarn::GetReaderInfo(session, handle, info);
}

int32_t QARN_CALL QARNGetFileLen(int32_t handle, uint32_t *length1, uint32_t *length2,
                                 uint32_t *length3)
{
    return qarn::GetFileLen(session, handle, length1, length2, length3);
}

int32_t QARN_CALL QARNSendFile(int32_t handle, int32_t fileType, int32_t length, int32_t,
                               int32_t, const unsigned char *data)
{
    return qarn::SendFile(session, handle, fileType, length, data);
}

int32_t QARN_CALL QARNGetLogData(int32_t handle, unsigned char *record,
                                 unsigned char *recordLength)
{
    return qarn::GetLogData(session, handle, record, recordLength);
}

int32_t QARN_CALL QARNGetLogAck(int32_t handle, int32_t value)
{
    return qarn::GetLogAck(session, handle, value);
}

int32_t QARN_CALL QARNSpecialCommand(int32_t handle, const unsigned char *command,
                                     int32_t commandLength, unsigned char *reply,
                                     unsigned char *replyLength)
{
    return qarn::SpecialCommand(session, handle, command, commandLength, reply, replyLength);
}

int32_t QARN_CALL TRQOpenReader(int32_t *handle, const unsigned char *identification, int32_t)
{
    return qarn::TrqOpenReader(session, handle, identification);
}

int32_t QARN_CALL TRQCloseReader(int32_t handle) { return qarn::TrqCloseReader(session, handle); }

int32_t QARN_CALL TRQSetTime(int32_t handle, const unsigned char *clock)
{
    return qarn::SetTime(session, handle, clock);
}

int32_t QARN_CALL TRQGetTime(int32_t handle, unsigned char *clock)
{
    return qarn::GetTime(session, handle, clock);
}

int32_t QARN_CALL TRQGetInfoV1(int32_t handle, unsigned char *info)
{
    return qarn::GetReaderInfo(session, handle, info);
}

int32_t QARN_CALL TRQSendFile(int32_t handle, int32_t fileType, int32_t length, int32_t,
                              int32_t, const unsigned char *data)
{
    return qarn::SendFile(session, handle, fileType, length, data);
}

int32_t QARN_CALL TRQGetLogEntry(int32_t handle, unsigned char *record,
                                 unsigned char *recordLength)
{
    return qarn::TrqGetLogEntry(session, handle, record, recordLength);
}

int32_t QARN_CALL TRQUserCommand(int32_t handle, const unsigned char *command,
                                 int32_t commandLength, unsigned char *reply,
                                 unsigned char *replyLength)
{
    return qarn::SpecialCommand(session, handle, command, commandLength, reply, replyLength);
}

} // extern "C"
