#include "ui/app/PaperlarkApp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Paperlark"));
    QApplication::setDesktopFileName(QStringLiteral("paperlark"));
    // The main window's closing ends the application, whatever else is open.
    QApplication::setQuitOnLastWindowClosed(false);

    PaperlarkApp paperlark(app);
    QObject::connect(&paperlark, &PaperlarkApp::finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    paperlark.start();
    return QApplication::exec();
}
