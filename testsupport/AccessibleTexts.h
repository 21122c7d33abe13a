// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a running program's windows say, read from outside the way a screen
// reader reads it: through the accessibility bus (AT-SPI) of the D-Bus session
// in DBUS_SESSION_BUS_ADDRESS. The program must run with
// QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 in that session.
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace AccessibleTexts {

struct Reference
{
    QString service;
    QString path;
};

inline const QDBusArgument &operator>>(const QDBusArgument &arg, Reference &ref)
{
    arg.beginStructure();
    QDBusObjectPath path;
    arg >> ref.service >> path;
    ref.path = path.path();
    arg.endStructure();
    return arg;
}

inline QDBusConnection accessibilityBus(const QString &sessionAddress)
{
    QDBusConnection session = QDBusConnection::connectToBus(sessionAddress, QStringLiteral("setupreel-test-session"));
    const QDBusMessage reply =
            session.call(QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                                        QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")));
    const QString address = reply.arguments().value(0).toString();
    return QDBusConnection::connectToBus(address, QStringLiteral("setupreel-test-a11y"));
}

inline QString property(QDBusConnection &bus, const Reference &ref, const QString &interface, const QString &name)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
            ref.service, ref.path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << interface << name;
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    return reply.arguments().value(0).value<QDBusVariant>().variant().toString();
}

inline QList<Reference> children(QDBusConnection &bus, const Reference &ref)
{
    const QDBusMessage reply =
            bus.call(QDBusMessage::createMethodCall(ref.service, ref.path, QStringLiteral("org.a11y.atspi.Accessible"),
                                                    QStringLiteral("GetChildren")),
                     QDBus::Block, 5000);
    QList<Reference> found;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return found;
    const QDBusArgument list = reply.arguments().first().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        Reference child;
        list >> child;
        found << child;
    }
    list.endArray();
    return found;
}

// The names (a label's name is its text) of everything the process with that
// id shows; nothing when it is not on the bus.
inline QStringList of(const QString &sessionAddress, qint64 pid)
{
    QDBusConnection bus = accessibilityBus(sessionAddress);
    QStringList texts;
    if (!bus.isConnected())
        return texts;
    const QDBusReply<QStringList> names = bus.interface()->registeredServiceNames();
    for (const QString &name : names.value()) {
        if (!name.startsWith(QLatin1Char(':')) || bus.interface()->servicePid(name).value() != pid)
            continue;
        QList<Reference> pending{{name, QStringLiteral("/org/a11y/atspi/accessible/root")}};
        QSet<QString> seen;
        while (!pending.isEmpty()) {
            const Reference ref = pending.takeFirst();
            if (ref.service != name || seen.contains(ref.path))
                continue;
            seen.insert(ref.path);
            const QString text =
                    property(bus, ref, QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("Name"));
            if (!text.isEmpty())
                texts << text;
            pending << children(bus, ref);
        }
    }
    return texts;
}

}
