#include "LaunchPlan.h"

#include "FileNameCodec.h"

#include <QDir>
#include <QStandardPaths>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace ShellAndWaitLogic {

QString findWine()
{
    return QStandardPaths::findExecutable(QStringLiteral("wine"));
}

// A relative path that begins with "-" would be read as an option by /bin/sh,
// by Wine and by a script's interpreter (the kernel hands it the path as given).
static QByteArray notAnOption(const QByteArray &file)
{
    return file.startsWith('-') ? QByteArrayLiteral("./") + file : file;
}

// Wine maps the root folder to drive Z:; cmd and msiexec read their file
// argument as a Windows path, where a leading "/" would be taken for a switch.
static QString winePathOf(const QByteArray &file)
{
    QByteArray absolute = file;
    if (!absolute.startsWith('/')) {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd))
            absolute = QByteArray(cwd) + '/' + file;
    }
    const QString path = QDir::cleanPath(FileNameCodec::decodeFileName(absolute));
    return QStringLiteral("Z:") + QString(path).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

static bool startsWithShebang(const QByteArray &file)
{
    const int fd = ::open(file.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;    // leave it to the system to say why it cannot run
    char head[2] = {};
    ssize_t n;
    do {
        n = ::read(fd, head, sizeof head);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    return n == 2 && head[0] == '#' && head[1] == '!';
}

// The extension of the file's name, in lower case ("" when it has none).
static QString suffixOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > slash ? path.mid(dot + 1).toLower() : QString();
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

    // Every check is made on the bytes that name the file on disk.
    const QByteArray file = programFile(command);
    struct stat st;
    const bool exists = ::stat(file.constData(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return refused(plan, FileNotFound,
                       QStringLiteral("File not found: %1 (it is a folder)").arg(command.program));
    if (!exists || !S_ISREG(st.st_mode))
        return refused(plan, FileNotFound,
                       QStringLiteral("File not found: %1").arg(command.program));
    const bool readable = ::access(file.constData(), R_OK) == 0;
    const bool executable = ::access(file.constData(), X_OK) == 0;
    // What is started: as text that encodeFileName turns back into these bytes.
    const QString path = FileNameCodec::decodeFileName(notAnOption(file));

    const QString suffix = suffixOf(command.program);
    const bool windowsFile = suffix == QLatin1String("exe") || suffix == QLatin1String("msi")
            || suffix == QLatin1String("bat");
    // Windows files come first: on FAT and NTFS drives every file looks executable.
    if (windowsFile) {
        if (winePath.isEmpty())
            return refused(plan, InvalidCall,
                           QStringLiteral("%1 is a Windows setup file: running it needs Wine, "
                                          "and Wine is not installed (no \"wine\" on the search path)")
                                   .arg(command.program));
        if (!readable)
            return refused(plan, PermissionDenied,
                           QStringLiteral("Permission denied: %1 cannot be read").arg(command.program));
        plan.executable = winePath;
        if (suffix == QLatin1String("exe"))
            plan.arguments << path;
        else if (suffix == QLatin1String("msi"))
            plan.arguments << QStringLiteral("msiexec") << QStringLiteral("/i") << winePathOf(file);
        else
            plan.arguments << QStringLiteral("cmd") << QStringLiteral("/c") << winePathOf(file);
        plan.arguments << command.arguments;
        return plan;
    }

    const bool script = suffix == QLatin1String("sh");
    if (executable && !(script && !startsWithShebang(file))) {
        plan.executable = path;
        plan.arguments = command.arguments;
        return plan;
    }
    if (script) {
        if (!readable)
            return refused(plan, PermissionDenied,
                           QStringLiteral("Permission denied: %1 cannot be read").arg(command.program));
        plan.executable = QStringLiteral("/bin/sh");
        plan.arguments << path << command.arguments;
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
        if (isRegularFile(FileNameCodec::encodeFileName(exe))) // a script whose interpreter is missing
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
    // Names that are not UTF-8 go out as the bytes they came in as.
    storage.push_back(FileNameCodec::encodeFileName(plan.executable));
    for (const QString &a : plan.arguments)
        storage.push_back(FileNameCodec::encodeFileName(a));
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
