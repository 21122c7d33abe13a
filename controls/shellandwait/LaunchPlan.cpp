#include "LaunchPlan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <vector>

extern char **environ;

namespace ShellAndWaitLogic {

QString findWine()
{
    return QStandardPaths::findExecutable(QStringLiteral("wine"));
}

// Wine maps the root folder to drive Z:; cmd and msiexec read their file
// argument as a Windows path, where a leading "/" would be taken for a switch.
static QString winePathOf(const QString &file)
{
    const QString absolute = QFileInfo(file).absoluteFilePath();
    return QStringLiteral("Z:") + QString(absolute).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

static bool startsWithShebang(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return true;    // leave it to the system to say why it cannot run
    return f.read(2) == "#!";
}

static LaunchPlan refused(LaunchPlan plan, int number, const QString &description)
{
    plan.error = number;
    plan.description = description;
    plan.executable.clear();
    plan.arguments.clear();
    return plan;
}

LaunchPlan planLaunch(const CommandLine &command, const QString &winePath)
{
    LaunchPlan plan;
    plan.program = command.program;
    if (command.program.isEmpty())
        return refused(plan, InvalidCall,
                       QStringLiteral("Invalid procedure call or argument: the command line is empty"));

    const QFileInfo info(command.program);
    if (info.isDir())
        return refused(plan, FileNotFound,
                       QStringLiteral("File not found: %1 (it is a folder)").arg(command.program));
    if (!info.isFile())
        return refused(plan, FileNotFound,
                       QStringLiteral("File not found: %1").arg(command.program));

    const QString suffix = info.suffix().toLower();
    const bool windowsFile = suffix == QLatin1String("exe") || suffix == QLatin1String("msi")
            || suffix == QLatin1String("bat");
    // Windows files come first: on FAT and NTFS drives every file looks executable.
    if (windowsFile) {
        if (winePath.isEmpty())
            return refused(plan, InvalidCall,
                           QStringLiteral("%1 is a Windows setup file: running it needs Wine, "
                                          "and Wine is not installed (no \"wine\" on the search path)")
                                   .arg(command.program));
        if (!info.isReadable())
            return refused(plan, PermissionDenied,
                           QStringLiteral("Permission denied: %1 cannot be read").arg(command.program));
        plan.executable = winePath;
        if (suffix == QLatin1String("exe"))
            plan.arguments << command.program;
        else if (suffix == QLatin1String("msi"))
            plan.arguments << QStringLiteral("msiexec") << QStringLiteral("/i") << winePathOf(command.program);
        else
            plan.arguments << QStringLiteral("cmd") << QStringLiteral("/c") << winePathOf(command.program);
        plan.arguments << command.arguments;
        return plan;
    }

    const bool script = suffix == QLatin1String("sh");
    if (info.isExecutable() && !(script && !startsWithShebang(command.program))) {
        plan.executable = command.program;
        plan.arguments = command.arguments;
        return plan;
    }
    if (script) {
        if (!info.isReadable())
            return refused(plan, PermissionDenied,
                           QStringLiteral("Permission denied: %1 cannot be read").arg(command.program));
        plan.executable = QStringLiteral("/bin/sh");
        plan.arguments << command.program << command.arguments;
        return plan;
    }
    return refused(plan, PermissionDenied,
                   QStringLiteral("Permission denied: %1 is not executable, and it is neither a "
                                  ".sh script nor a Windows setup file (.exe, .msi, .bat)")
                           .arg(command.program));
}

StartError startError(int errnum, const LaunchPlan &plan)
{
    const QString why = QString::fromLocal8Bit(std::strerror(errnum));
    const QString &exe = plan.executable;
    switch (errnum) {
    case ENOENT:
        if (QFileInfo(exe).isFile())    // a script whose interpreter is missing
            return {FileNotFound, QStringLiteral("File not found: the interpreter that %1 names (%2)")
                                          .arg(exe, why)};
        return {FileNotFound, QStringLiteral("File not found: %1 (%2)").arg(exe, why)};
    case EACCES:
    case EPERM:
    case ENOEXEC:
    case ETXTBSY:
        return {PermissionDenied, QStringLiteral("Permission denied: %1 cannot be started (%2)").arg(exe, why)};
    case ENOMEM:
    case EAGAIN:
        return {OutOfMemory, QStringLiteral("Out of memory: %1 cannot be started (%2)").arg(exe, why)};
    case ENOTDIR:
    case EISDIR:
    case ELOOP:
    case ENAMETOOLONG:
    case EIO:
        return {FileAccessError, QStringLiteral("Path/File access error: %1 (%2)").arg(exe, why)};
    default:
        return {InvalidCall, QStringLiteral("%1 cannot be started (%2)").arg(exe, why)};
    }
}

int spawnPlan(const LaunchPlan &plan, pid_t *pid)
{
    if (!plan.ok() || plan.executable.isEmpty())
        return EINVAL;

    std::vector<QByteArray> storage;
    storage.reserve(plan.arguments.size() + 1);
    storage.push_back(QFile::encodeName(plan.executable));
    for (const QString &a : plan.arguments)
        storage.push_back(QFile::encodeName(a));
    std::vector<char *> argv;
    for (QByteArray &s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (int rc = posix_spawn_file_actions_init(&actions))
        return rc;
    if (int rc = posix_spawnattr_init(&attr)) {
        posix_spawn_file_actions_destroy(&actions);
        return rc;
    }
    // A setup program runs unattended: it does not read the terminal, and a
    // session of its own keeps Ctrl-C and the end of this program away from it.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const int rc = posix_spawn(pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return rc;
}

} // namespace ShellAndWaitLogic
