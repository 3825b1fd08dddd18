// The toolbar's 32 x 32 pictures and the program icon, drawn in code so that
// they scale cleanly and need no image files.
#pragma once

#include <QIcon>

QIcon CommandIcon(unsigned id);
QIcon ProgramIcon();
