// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/InspectCommand.h"

#include "FileNameCodec.h"
#include "InstallerType.h"
#include "cli/Cli.h"
#include "cli/Terminal.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace ShellAndWaitLogic;

namespace {
QJsonValue orNull(const QString &text) { return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text); }
}

namespace InspectCommand {

int run(const QStringList &files, bool json, Terminal &terminal)
{
    int status = Cli::AllSucceeded;
    QJsonArray entries;
    for (const QString &file : files) {
        const InstallerInfo info = inspectInstaller(FileNameCodec::encodeFileName(file));
        if (!info.error.isEmpty())
            status = Cli::Refused;
        if (json) {
            QJsonObject o;
            o.insert(QLatin1String("file"), file);
            if (info.error.isEmpty()) {
                o.insert(QLatin1String("type"), installerKindId(info.kind));
                o.insert(QLatin1String("typeName"), installerKindName(info.kind));
                o.insert(QLatin1String("machine"), orNull(machineName(info.machine)));
                o.insert(QLatin1String("silentSwitch"), orNull(silentSwitch(info.kind)));
                o.insert(QLatin1String("error"), QJsonValue::Null);
            } else {
                o.insert(QLatin1String("type"), QJsonValue::Null);
                o.insert(QLatin1String("typeName"), QJsonValue::Null);
                o.insert(QLatin1String("machine"), QJsonValue::Null);
                o.insert(QLatin1String("silentSwitch"), QJsonValue::Null);
                o.insert(QLatin1String("error"), info.error);
            }
            entries.append(o);
            continue;
        }
        if (!info.error.isEmpty()) {
            terminal.errorLine(QStringLiteral("%1: cannot be read: %2").arg(file, info.error));
            continue;
        }
        QString text = file + QStringLiteral(": ") + installerKindName(info.kind) + QStringLiteral(" (")
                       + installerKindId(info.kind) + QLatin1Char(')');
        const QString machine = machineName(info.machine);
        if (!machine.isEmpty())
            text += QStringLiteral(", machine ") + machine;
        const QString silent = silentSwitch(info.kind);
        text += silent.isEmpty() ? QStringLiteral(", no silent switch known")
                                 : QStringLiteral(", silent switch ") + silent;
        terminal.line(text);
    }
    if (json) {
        QJsonObject doc;
        doc.insert(QLatin1String("format"), QLatin1String("setupreel-inspect/1"));
        doc.insert(QLatin1String("files"), entries);
        terminal.lines(QString::fromUtf8(QJsonDocument(doc).toJson(QJsonDocument::Indented)).trimmed());
    }
    return status;
}

} // namespace InspectCommand
