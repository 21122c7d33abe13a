// SPDX-License-Identifier: GPL-3.0-or-later
// The program with its windows: loaded by main() as a module beside the
// program, only when no terminal command was given, so the terminal commands
// never load a window system library.
#include "FileNameCodec.h"
#include "core/startup/WinXpStyle.h"
#include "windows/startup/Form4.h"
#include "windows/startup/ProgramFont.h"
#include "windows/ui/Program.h"
#include "windows/ui/Windows.h"

#include <QApplication>
#include <QDir>

extern "C" Q_DECL_EXPORT int setupreelWindowsMain(int argc, char *argv[])
{
    // Before Qt takes its own options out and decodes the rest: a restart gets
    // exactly these bytes.
    WinXpStyle::rememberArguments(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Setupreel"));
    QApplication::setApplicationVersion(QStringLiteral(SETUPREEL_VERSION));
    // The desktop entry's id: the desktop shows the windows under its name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.setupreel.Setupreel"));

    // The manifest first; after writing one the program restarts and ends here.
    Form4::Form_Initialize();

    // A list named on the command line (Qt has taken its own options out of
    // argv): its name as bytes, so a name that is not UTF-8 still opens.
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-') {
            Program::setListToOpen(QDir::current().absoluteFilePath(FileNameCodec::decodeFileName(argv[i])));
            break;
        }
    }

    Form4 *startUp = Windows::show<Form4>();
    // Before the window's first paint, which comes with the event loop.
    Program::applyWindowFont(registerProgramFont());
    // The icon is not drawn in the window: it follows the first paint.
    QObject::connect(
            startUp, &Form4::firstPainted, startUp, [] { Program::applyWindowIcon(); }, Qt::SingleShotConnection);
    return app.exec();
}
