// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The real run-and-wait control from the build's system folder, as the
// windows host it: for the tests that run real programs without a window.
#include "ControlFactory.h"

#include <QObject>
#include <QPluginLoader>
#include <QString>

inline QObject *loadRunAndWaitControl(QString *error)
{
    QPluginLoader loader(QStringLiteral(SETUPREEL_BUILD_SYSTEM_DIR "/ShellAndWait.ocx"));
    auto *factory = qobject_cast<ControlFactory *>(loader.instance());
    if (!factory) {
        *error = loader.errorString();
        return nullptr;
    }
    return factory->create(QStringLiteral("Project1.ShellAndWait"), nullptr);
}
