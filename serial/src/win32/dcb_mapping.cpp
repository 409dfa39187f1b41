#include "dcb_mapping.h"

namespace serwyn::platform::win32 {

LineSettings fromDcb(const DCB &dcb)
{
    LineSettings s{};
    s.baudRate = dcb.BaudRate;
    s.binary = dcb.fBinary;
    s.parityCheck = dcb.fParity;
    s.outxCtsFlow = dcb.fOutxCtsFlow;
    s.outxDsrFlow = dcb.fOutxDsrFlow;
    s.dtrControl = static_cast<std::uint8_t>(dcb.fDtrControl);
    s.dsrSensitivity = dcb.fDsrSensitivity;
    s.txContinueOnXoff = dcb.fTXContinueOnXoff;
    s.outX = dcb.fOutX;
    s.inX = dcb.fInX;
    s.errorCharEnabled = dcb.fErrorChar;
    s.nullStrip = dcb.fNull;
    s.rtsControl = static_cast<std::uint8_t>(dcb.fRtsControl);
    s.abortOnError = dcb.fAbortOnError;
    s.xonLim = dcb.XonLim;
    s.xoffLim = dcb.XoffLim;
    s.byteSize = dcb.ByteSize;
    s.parity = dcb.Parity;
    s.stopBits = dcb.StopBits;
    s.xonChar = static_cast<std::uint8_t>(dcb.XonChar);
    s.xoffChar = static_cast<std::uint8_t>(dcb.XoffChar);
    s.errorChar = static_cast<std::uint8_t>(dcb.ErrorChar);
    s.eofChar = static_cast<std::uint8_t>(dcb.EofChar);
    s.evtChar = static_cast<std::uint8_t>(dcb.EvtChar);
    return s;
}

DCB toDcb(const LineSettings &s)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = s.baudRate;
    dcb.fBinary = s.binary;
    dcb.fParity = s.parityCheck;
    dcb.fOutxCtsFlow = s.outxCtsFlow;
    dcb.fOutxDsrFlow = s.outxDsrFlow;
    dcb.fDtrControl = s.dtrControl & 0x3u;
    dcb.fDsrSensitivity = s.dsrSensitivity;
    dcb.fTXContinueOnXoff = s.txContinueOnXoff;
    dcb.fOutX = s.outX;
    dcb.fInX = s.inX;
    dcb.fErrorChar = s.errorCharEnabled;
    dcb.fNull = s.nullStrip;
    dcb.fRtsControl = s.rtsControl & 0x3u;
    dcb.fAbortOnError = s.abortOnError;
    dcb.XonLim = s.xonLim;
    dcb.XoffLim = s.xoffLim;
    dcb.ByteSize = s.byteSize;
    dcb.Parity = s.parity;
    dcb.StopBits = s.stopBits;
    dcb.XonChar = static_cast<char>(s.xonChar);
    dcb.XoffChar = static_cast<char>(s.xoffChar);
    dcb.ErrorChar = static_cast<char>(s.errorChar);
    dcb.EofChar = static_cast<char>(s.eofChar);
    dcb.EvtChar = static_cast<char>(s.evtChar);
    return dcb;
}

} // namespace serwyn::platform::win32
