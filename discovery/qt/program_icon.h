#pragma once
// The program icon, drawn for 16 x 16 and 32 x 32.

#include <QIcon>

QIcon LoadProgramIcon();
