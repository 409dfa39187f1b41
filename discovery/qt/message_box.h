#pragma once
// The program's message boxes in Qt, captioned with the program's name; the texts
// are the core's (core/program_messages.h).

#include "program_messages.h"

#include <QMessageBox>
#include <QString>

class QWidget;


// The executable's file name without its extension.
QString ProgramName();
// An OK box owned by `owner`; waits until the operator dismisses it.
void ShowProgramMessage(QWidget* owner, const char* text, QMessageBox::Icon icon = QMessageBox::NoIcon);
