#include "program_icon.h"

// Resource initialisation must be named outside any namespace.
static void InitProgramResources()
{
    Q_INIT_RESOURCE(corvane);
}

QIcon LoadProgramIcon()
{
    InitProgramResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/corvane/corvane-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/corvane/corvane-32.png"), QSize(32, 32));
    return icon;
}
