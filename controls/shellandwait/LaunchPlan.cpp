// SPDX-License-Identifier: GPL-3.0-or-later
#include "LaunchPlan.h"

#include "FileNameCodec.h"
#include "core/io/FileIO.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QSysInfo>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace ShellAndWaitLogic {

QString findWine() { return QStandardPaths::findExecutable(QStringLiteral("wine")); }

QString winePrefix()
{
    const QString set = qEnvironmentVariable("WINEPREFIX");
    return set.isEmpty() ? QDir::homePath() + QStringLiteral("/.wine") : set;
}

QChar rootDriveOf(const QString &prefix)
{
    QDir devices(prefix + QStringLiteral("/dosdevices"));
    const QStringList names = devices.entryList(QDir::System | QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    QChar found;
    for (const QString &name : names) {
        if (name.size() != 2 || name.at(1) != QLatin1Char(':') || !name.at(0).isLetter())
            continue;
        const QString target = QFile::symLinkTarget(devices.filePath(name));
        if (!target.isEmpty() && QDir::cleanPath(target) == QLatin1String("/"))
            found = name.at(0).toUpper(); // the last one: z: where it is the usual
    }
    return found.isNull() ? QLatin1Char('Z') : found;
}

static bool isElf32(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(5);
    return head.size() == 5
           && head.startsWith("\x7f"
                              "ELF")
           && head.at(4) == 1;
}

bool wineRuns32Bit(const QString &winePath, const QString &root)
{
    const QDir r(root);
    // Debian's wine32 brings the i386 loader and libraries.
    if (QFileInfo::exists(r.filePath(QStringLiteral("usr/lib/wine/wine")))
        || QFileInfo::exists(r.filePath(QStringLiteral("usr/lib/i386-linux-gnu/wine"))))
        return true;
    // A Wine of its own (under /opt, /usr/local): a 32-bit loader beside it,
    // or the 32-bit Unix libraries in its lib folder.
    const QString real = QFileInfo(winePath).canonicalFilePath();
    if (real.isEmpty())
        return false;
    const QDir bin = QFileInfo(real).dir();
    if (isElf32(bin.filePath(QStringLiteral("wine"))))
        return true;
    for (const char *lib : {"../lib/wine/i386-unix", "../lib32/wine/i386-unix", "../lib/i386-linux-gnu/wine/i386-unix"})
        if (QFileInfo(bin.filePath(QLatin1String(lib))).isDir())
            return true;
    return false;
}

WineSetup findWineSetup(const QString &launcher)
{
    WineSetup setup;
    setup.wine = findWine();
    if (QFileInfo(launcher).isFile())
        setup.launcher = launcher;
    setup.prefix = winePrefix();
    setup.rootDrive = rootDriveOf(setup.prefix);
    const QString cpu = QSysInfo::currentCpuArchitecture();
    const bool x86Host = cpu == QLatin1String("x86_64") || cpu == QLatin1String("i386");
    setup.runsX64 = cpu == QLatin1String("x86_64");
    setup.runsX86 = x86Host && wineRuns32Bit(setup.wine);
    setup.runsArm64 = cpu == QLatin1String("arm64");
    return setup;
}

QString newCodeFileName()
{
    static QAtomicInt count;
    return QStringLiteral("setupreel-%1-%2-%3.code")
            .arg(::getpid())
            .arg(count.fetchAndAddRelaxed(1) + 1)
            .arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'));
}

// A relative path that begins with "-" would be read as an option by /bin/sh,
// by Wine and by a script's interpreter (the kernel hands it the path as given).
static QByteArray notAnOption(const QByteArray &file)
{
    return file.startsWith('-') ? QByteArrayLiteral("./") + file : file;
}

static QByteArray absoluteFile(const QByteArray &file)
{
    if (file.startsWith('/'))
        return file;
    char cwd[PATH_MAX];
    return ::getcwd(cwd, sizeof cwd) ? QByteArray(cwd) + '/' + file : file;
}

// Wine maps the root folder to a drive (Z:); Windows programs read their
// file argument as a Windows path, where a leading "/" would be a switch.
static QString winePathOf(const QByteArray &file, QChar drive)
{
    const QString path = QDir::cleanPath(FileNameCodec::decodeFileName(absoluteFile(file)));
    return QString(drive) + QLatin1Char(':') + QString(path).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

// Why a Windows program of this machine type cannot run here; empty when it can.
static QString machineRefusal(const QString &program, quint16 machine, const WineSetup &wine)
{
    if (machine == MachineI386 && !wine.runsX86) {
        // Debian's "wine" brings only the 64-bit half on amd64.
        const QString need =
                QStringLiteral("It needs the 32-bit part of Wine: on Debian, as root, dpkg --add-architecture i386 && "
                               "apt-get update && apt-get install wine32:i386; on other systems, the distribution's "
                               "32-bit (i386) Wine package or a Wine built for both (WoW64).");
        if (wine.runsX64)
            return QStringLiteral("%1 is a 32-bit Windows program, and this Wine runs only 64-bit programs. %2")
                    .arg(program, need);
        return QStringLiteral("%1 is a 32-bit Windows program, and this computer's Wine cannot run it. %2")
                .arg(program, need);
    }
    if ((machine == MachineAmd64 && !wine.runsX64) || (machine == MachineArm64 && !wine.runsArm64)) {
        return QStringLiteral("%1 is a Windows program for %2 processors, which Wine cannot run on "
                              "this computer (%3). Use the setup program made for this processor.")
                .arg(program, machineName(machine), QSysInfo::currentCpuArchitecture());
    }
    return QString();
}

// From the bytes its type was read from: the file is not opened again.
static bool startsWithShebang(const InstallerInfo &read)
{
    return read.shebang || !read.error.isEmpty(); // unread: the system says why it cannot run
}

// The extension of the file's name, in lower case ("" when it has none).
static QString suffixOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > slash ? path.mid(dot + 1).toLower() : QString();
}

bool startsThroughWine(const QString &program)
{
    const QString suffix = suffixOf(program);
    return suffix == QLatin1String("exe") || suffix == QLatin1String("msi") || suffix == QLatin1String("bat");
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
    WineSetup wine;
    wine.wine = winePath;
    return planLaunch(command, wine);
}

static LaunchPlan unreadable(const LaunchPlan &plan)
{
    return refused(plan, RunTimeError::PermissionDenied,
                   QStringLiteral("Permission denied: %1 cannot be read").arg(plan.program));
}

// A Windows setup file starts through Wine, and through the launcher when
// there is one. path: the file as it is started directly.
static LaunchPlan planThroughWine(LaunchPlan plan, const CommandLine &command, const QByteArray &file,
                                  const QString &path, const WineSetup &wine)
{
    if (wine.wine.isEmpty())
        return refused(plan, RunTimeError::InvalidCall,
                       QStringLiteral("%1 is a Windows setup file: running it needs Wine, "
                                      "and Wine is not installed (no \"wine\" on the search path)")
                               .arg(command.program));
    if (::access(file.constData(), R_OK) != 0)
        return unreadable(plan);
    // Refused before starting: Wine would end at once, with status 0.
    const QString why = machineRefusal(command.program, plan.installer.machine, wine);
    if (!why.isEmpty())
        return refused(plan, RunTimeError::MachineMismatch, why);
    plan.executable = wine.wine;
    plan.wine = true;
    const bool launched = !wine.launcher.isEmpty();
    if (launched) {
        // The launcher reads the full exit code, which reaches Linux cut to 8 bits.
        const QString code = newCodeFileName();
        plan.codeFile = wine.prefix + QStringLiteral("/drive_c/windows/temp/") + code;
        plan.arguments << wine.launcher << QStringLiteral("C:\\windows\\temp\\") + code;
    }
    const QString suffix = suffixOf(command.program);
    if (suffix == QLatin1String("exe"))
        plan.arguments << (launched ? winePathOf(file, wine.rootDrive) : path);
    else if (suffix == QLatin1String("msi"))
        plan.arguments << QStringLiteral("msiexec") << QStringLiteral("/i") << winePathOf(file, wine.rootDrive);
    else
        plan.arguments << QStringLiteral("cmd") << QStringLiteral("/c") << winePathOf(file, wine.rootDrive);
    plan.arguments << command.arguments;
    return plan;
}

// Any other file starts itself when it may be run; a .sh script without a
// "#!" line or without the right to run goes to /bin/sh.
static LaunchPlan planNative(LaunchPlan plan, const CommandLine &command, const QByteArray &file, const QString &path)
{
    const bool script = suffixOf(command.program) == QLatin1String("sh");
    if (::access(file.constData(), X_OK) == 0 && !(script && !startsWithShebang(plan.installer))) {
        plan.executable = path;
        plan.arguments = command.arguments;
        return plan;
    }
    if (script) {
        if (::access(file.constData(), R_OK) != 0)
            return unreadable(plan);
        plan.executable = QStringLiteral("/bin/sh");
        plan.arguments << path << command.arguments;
        return plan;
    }
    return refused(plan, RunTimeError::PermissionDenied,
                   QStringLiteral("Permission denied: %1 is not executable, and it is neither a "
                                  ".sh script nor a Windows setup file (.exe, .msi, .bat)")
                           .arg(command.program));
}

LaunchPlan planLaunch(const CommandLine &command, const WineSetup &wine)
{
    LaunchPlan plan;
    plan.program = command.program;
    if (command.program.isEmpty())
        return refused(plan, RunTimeError::InvalidCall,
                       QStringLiteral("Invalid procedure call or argument: the command line is empty"));

    // Every check is made on the bytes that name the file on disk.
    const QByteArray file = programFile(command);
    struct stat st;
    const bool exists = ::stat(file.constData(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return refused(plan, RunTimeError::FileNotFound,
                       QStringLiteral("File not found: %1 (it is a folder)").arg(command.program));
    if (!exists || !S_ISREG(st.st_mode))
        return refused(plan, RunTimeError::FileNotFound, QStringLiteral("File not found: %1").arg(command.program));
    // What is started: as text that encodeFileName turns back into these bytes.
    const QString path = FileNameCodec::decodeFileName(notAnOption(file));
    plan.file = absoluteFile(file);
    plan.installer = inspectInstaller(file);

    // Windows files come first: on FAT and NTFS drives every file looks executable.
    if (startsThroughWine(command.program))
        return planThroughWine(plan, command, file, path, wine);
    return planNative(plan, command, file, path);
}

StartError startError(int errnum, const LaunchPlan &plan)
{
    const QString why = QString::fromLocal8Bit(std::strerror(errnum));
    const QString &exe = plan.executable;
    switch (errnum) {
    case ENOENT:
        if (isRegularFile(FileNameCodec::encodeFileName(exe))) // a script whose interpreter is missing
            return {RunTimeError::FileNotFound,
                    QStringLiteral("File not found: the interpreter that %1 names (%2)").arg(exe, why)};
        return {RunTimeError::FileNotFound, QStringLiteral("File not found: %1 (%2)").arg(exe, why)};
    case EACCES:
    case EPERM:
    case ENOEXEC:
    case ETXTBSY:
        return {RunTimeError::PermissionDenied,
                QStringLiteral("Permission denied: %1 cannot be started (%2)").arg(exe, why)};
    case ENOMEM:
    case EAGAIN:
        return {RunTimeError::OutOfMemory, QStringLiteral("Out of memory: %1 cannot be started (%2)").arg(exe, why)};
    case ENOTDIR:
    case EISDIR:
    case ELOOP:
    case ENAMETOOLONG:
    case EIO: return {RunTimeError::PathFileAccess, QStringLiteral("Path/File access error: %1 (%2)").arg(exe, why)};
    default: return {RunTimeError::InvalidCall, QStringLiteral("%1 cannot be started (%2)").arg(exe, why)};
    }
}

namespace {

// What the started program's process does before it becomes that program.
struct ChildSetup
{
    const char *path;
    char *const *argv;
    int devNull;
    int output;
    const sigset_t *toDefault; // with the handlers cleared by the start: what is set back; else every signal
    int error;                 // the errno the program could not be started with; 0 until then
};

// The signals a started program gets back at their default after a start
// that cleared the handlers already: the ignored ones. Those ignored when this
// process first starts a program (what its starter ignored: a background
// shell's SIGINT and SIGQUIT, nohup's SIGHUP), and the ones a library may
// choose to ignore later, SIGPIPE first of all. Asked once: each question is
// a system call, and asking every time is what the cleared start saves.
const sigset_t &ignoredSignals()
{
    static const sigset_t set = [] {
        sigset_t s;
        sigemptyset(&s);
        for (const int sig : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGALRM, SIGTERM, SIGUSR1, SIGUSR2, SIGCHLD, SIGTSTP,
                              SIGTTIN, SIGTTOU, SIGURG, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGWINCH})
            sigaddset(&s, sig);
        for (int sig = 1; sig < NSIG; ++sig) {
            struct sigaction now
            {};
            if (::sigaction(sig, nullptr, &now) == 0 && now.sa_handler == SIG_IGN)
                sigaddset(&s, sig);
        }
        return s;
    }();
    return set;
}

#if defined(__x86_64__)
// clone3 (Linux 5.5 and later, which glibc 2.36 has no call for): the new
// process begins in fn(arg) on the stack args names and ends with its value.
// Returns the new process's id, or -errno.
extern "C" long setupreelClone3(void *args, size_t size, int (*fn)(void *), void *arg);
asm(R"(
    .text
    .p2align 4
    .globl setupreelClone3
    .hidden setupreelClone3
    .type setupreelClone3, @function
setupreelClone3:
    .cfi_startproc
    mov %rcx, %r8
    mov $435, %eax
    syscall
    test %rax, %rax
    jz 1f
    ret
1:
    .cfi_undefined rip
    xor %ebp, %ebp
    mov %r8, %rdi
    call *%rdx
    mov %eax, %edi
    mov $60, %eax
    syscall
    hlt
    .cfi_endproc
    .size setupreelClone3, .-setupreelClone3
)");

// struct clone_args as the kernel first defined it.
struct CloneArgs
{
    quint64 flags, pidfd, childTid, parentTid, exitSignal, stack, stackSize, tls;
};
constexpr quint64 CloneClearSighand = 0x100000000ULL;

// Starts fn(arg) as by clone(CLONE_VM | CLONE_VFORK) with every handler of
// this process cleared in the new one by the kernel. -1 with errno set; errno
// ENOSYS when this system cannot (its kernel, a filter), so the caller does
// it the older way.
pid_t cloneClearingHandlers(int (*fn)(void *), char *stack, size_t size, void *arg)
{
    static std::atomic<bool> refused{false};
    if (refused.load(std::memory_order_relaxed)) {
        errno = ENOSYS;
        return -1;
    }
    CloneArgs args{};
    args.flags = CLONE_VM | CLONE_VFORK | CloneClearSighand;
    args.exitSignal = SIGCHLD;
    args.stack = quint64(reinterpret_cast<quintptr>(stack));
    args.stackSize = size;
    const long rc = setupreelClone3(&args, sizeof args, fn, arg);
    if (rc >= 0)
        return pid_t(rc);
    if (rc == -ENOSYS || rc == -EINVAL || rc == -EPERM) {
        refused.store(true, std::memory_order_relaxed);
        errno = ENOSYS;
    } else {
        errno = int(-rc);
    }
    return -1;
}
#else
pid_t cloneClearingHandlers(int (*)(void *), char *, size_t, void *)
{
    errno = ENOSYS;
    return -1;
}
#endif

// /dev/null for every program's stdin, opened once: the open costs more than
// the rest of a start. Above the standard three, so a dup2 onto 0 clears its
// close-on-exec. -1 with errno set when it cannot be opened (tried again next time).
int devNullFd()
{
    static std::atomic<int> kept{-1};
    const int known = kept.load();
    if (known >= 0)
        return known;
    int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd >= 0 && fd <= 2) {
        const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        const int saved = errno;
        ::close(fd);
        errno = saved;
        fd = moved;
    }
    if (fd < 0)
        return -1;
    int expected = -1;
    if (kept.compare_exchange_strong(expected, fd))
        return fd;
    ::close(fd); // another thread kept one first
    return expected;
}

// Runs in the new process, which shares this one's memory until its exec
// (CLONE_VFORK keeps this process waiting meanwhile): only system calls, on
// memory made ready before. Every signal is blocked on entry.
__attribute__((no_sanitize_address)) int startChild(void *arg)
{
    auto *setup = static_cast<ChildSetup *>(arg);
    // A setup program runs unattended: it does not read the terminal, and a
    // session of its own keeps Ctrl-C and the end of this program away from it.
    if (::setsid() < 0 || ::dup2(setup->devNull, 0) < 0
        || (setup->output >= 0 && (::dup2(setup->output, 1) < 0 || ::dup2(setup->output, 2) < 0))) {
        setup->error = errno;
        ::_exit(127);
    }
    // Nor does it inherit what this program's starter ignored, or the
    // handlers of this process, which must not run here before the exec: a
    // run started from a background shell has SIGINT and SIGQUIT ignored, and
    // a setup must be able to end on them as it would anywhere else. When the
    // start cleared the handlers, only the ignored signals are left to set
    // back. The C library refuses its own two signals; its exec resets their
    // handlers.
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        if (sig != SIGKILL && sig != SIGSTOP && (!setup->toDefault || sigismember(setup->toDefault, sig) == 1))
            ::sigaction(sig, &dfl, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(setup->path, setup->argv, environ);
    setup->error = errno;
    ::_exit(127);
}

} // namespace

int spawnPlan(const LaunchPlan &plan, pid_t *pid, int output)
{
    if (!plan.ok() || plan.executable.isEmpty())
        return EINVAL;
    const int devNull = devNullFd();
    if (devNull < 0)
        return errno;

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

    // The new process runs on this stack until its exec; this thread waits
    // meanwhile, so that part of its own stack is free.
    constexpr size_t ChildStack = 64 * 1024;
    alignas(64) char stack[ChildStack];
    ChildSetup setup{argv[0], argv.data(), devNull, output, &ignoredSignals(), 0};
    // No handler of this process may run in the new one, which shares its
    // memory until the exec: every signal waits until the start is over.
    sigset_t all, old;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &old);
    pid_t child = cloneClearingHandlers(startChild, stack, ChildStack, &setup);
    if (child < 0 && errno == ENOSYS) {
        setup.toDefault = nullptr;
        child = ::clone(startChild, stack + ChildStack, CLONE_VM | CLONE_VFORK | SIGCHLD, &setup);
    }
    const int cloneError = errno;
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (child < 0)
        return cloneError;
    if (setup.error != 0) {
        // It ended without starting the program: reaped here, never seen.
        int status = 0;
        FileIO::retryOnSignal([&] { return ::waitpid(child, &status, 0); });
        return setup.error;
    }
    *pid = child;
    return 0;
}

} // namespace ShellAndWaitLogic
