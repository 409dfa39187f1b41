#include "message_box.h"

#include <QCoreApplication>
#include <QFileInfo>

QString ProgramName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void ShowProgramMessage(QWidget* owner, const char* text, QMessageBox::Icon icon)
{
    QMessageBox box(icon, ProgramName(), QString::fromUtf8(text), QMessageBox::Ok, owner);
    box.exec();
}
