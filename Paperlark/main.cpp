#include "buildinfo/BuildInfo.h"
#include "ui/app/CommandLine.h"
#include "ui/app/PaperlarkApp.h"
#include "ui/app/SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>

namespace {

void print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char* argv[]) {
    // Read before QApplication exists: --help and --version need no display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const CommandLine::Request request = CommandLine::parse(arguments, QDir::currentPath());
    if (std::holds_alternative<CommandLine::ShowHelp>(request)) {
        print(stdout, CommandLine::helpText());
        return 0;
    }
    if (std::holds_alternative<CommandLine::ShowVersion>(request)) {
        print(stdout, CommandLine::versionText());
        return 0;
    }
    if (const auto* misuse = std::get_if<CommandLine::Misuse>(&request)) {
        print(stderr, misuse->message + u'\n');
        return CommandLine::misuseStatus;
    }
    const QList<QUrl> files = std::get<CommandLine::Run>(request).files;
    // The launcher's consent to raise a window (Wayland), for the running
    // instance should this start hand over to it.
    const QString activationToken = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Paperlark"));
    QApplication::setApplicationVersion(BuildInfo::version());
    QApplication::setDesktopFileName(BuildInfo::applicationId());
    // The main window's closing ends the application, whatever else is open.
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance(BuildInfo::applicationId());
    if (instance.claimOrHandOver(files, activationToken) == SingleInstance::Role::handedOver) {
        return 0;
    }

    PaperlarkApp paperlark(app);
    QObject::connect(&paperlark, &PaperlarkApp::finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    QObject::connect(&paperlark, &PaperlarkApp::finished, &instance, &SingleInstance::release);
    QObject::connect(&instance, &SingleInstance::activated, &paperlark, &PaperlarkApp::open);
    paperlark.start();
    if (!files.isEmpty()) {
        // Once the window is up, so that a file that cannot be read is
        // reported over it.
        QTimer::singleShot(0, &paperlark, [&paperlark, files] { paperlark.open(files); });
    }
    return QApplication::exec();
}
