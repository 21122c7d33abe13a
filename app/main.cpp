#include "install/Form2.h"
#include "startup/Registry.h"
#include "ui/Program.h"
#include "ui/Windows.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Setupreel"));
    QApplication::setApplicationVersion(QStringLiteral(SETUPREEL_VERSION));
    Program::applyWindowFont();
    Registry::populateFromSystem();

    Windows::show<Form2>();
    return app.exec();
}
