#pragma once
// The messages the program shows, captioned with the program's name.

#include <QMessageBox>
#include <QString>

class QWidget;

inline constexpr const char* MSG_SOCKET_CREATE_ERROR = "Socket create error";
inline constexpr const char* MSG_INVALID_IP_ADDRESS = "Invalid IP address";
inline constexpr const char* MSG_INVALID_MASK = "Invalid mask";

// The executable's file name without its extension.
QString ProgramName();
// An OK box owned by `owner`; waits until the operator dismisses it.
void ShowProgramMessage(QWidget* owner, const char* text, QMessageBox::Icon icon = QMessageBox::NoIcon);
