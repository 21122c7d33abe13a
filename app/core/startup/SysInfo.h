// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the about box finds the system information tool: two registry
// lookups, and which of the desktop's tools stands for it here.
#include <QString>
#include <QStringList>

class Registry;

namespace SysInfo {
// Try 1: the full path of the tool.
inline const QString PathKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
inline const QString PathValue = QStringLiteral("PATH");
// Try 2: the folder that holds MSINFO32.EXE.
inline const QString LocationKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
inline const QString LocationValue = QStringLiteral("MSINFO");

// The desktop's system information tools, the first one found is used.
QStringList toolNames();

// Records the first installed tool of toolNames() found in the folders under
// both keys; when none is installed neither key exists.
void registerTool(Registry &registry, const QStringList &searchFolders);

// The tool's path by try 1, else by try 2 when its folder holds the file;
// empty when neither finds one.
QString toolPath();
}
