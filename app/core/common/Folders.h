// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's folders and the lookup of support files inside them.
#include <QString>

namespace Folders {
// The folder of the running program; tests and the benchmarks set another
// through Seams::setAppDir.
QString appDir();

// The system folder: SETUPREEL_SYSTEM_DIR when set, else <application folder>/system32.
QString systemDir();

// The fonts folder as the original forms it: the system folder less its last
// 8 characters, followed by "Fonts".
QString fontsDir();
QString fontsDirOf(const QString &systemDir);

// A name given the original way ("\Top Menu2.jpg") joined to a folder, with the
// file's own letter case when a file of that name exists in any case.
QString join(const QString &folder, const QString &name);

// The application folder joined with a picture name such as "\Top Menu2.jpg".
QString appFile(const QString &name);
}
