#include "ui/app/CommandLine.h"

#include "buildinfo/BuildInfo.h"

#include <QDir>

namespace CommandLine {

namespace {

// Options QGuiApplication and QApplication take out of argv themselves.
const QStringList qtOptionsWithValue{
    QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
    QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
    QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
    QStringLiteral("qwindowtitle"),    QStringLiteral("session"),
    QStringLiteral("display"),         QStringLiteral("style"),
    QStringLiteral("stylesheet")};
const QStringList qtFlags{QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                          QStringLiteral("nograb"), QStringLiteral("dograb")};

QString misuse(const QString& what) {
    return QStringLiteral("paperlark: %1 (see 'paperlark --help')").arg(what);
}

QUrl fileUrl(const QString& argument, const QString& workingDirectory) {
    if (argument.startsWith(QStringLiteral("file://"))) {
        return QUrl(argument);
    }
    return QUrl::fromLocalFile(QDir::cleanPath(QDir(workingDirectory).absoluteFilePath(argument)));
}

} // namespace

Request parse(const QStringList& arguments, const QString& workingDirectory) {
    Run run;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded || argument == QStringLiteral("-") || !argument.startsWith(u'-')) {
            if (argument.isEmpty()) {
                return Misuse{misuse(QStringLiteral("empty file name"))};
            }
            run.files.append(fileUrl(argument, workingDirectory));
            continue;
        }
        if (argument == QStringLiteral("--")) {
            optionsEnded = true;
        } else if (argument == QStringLiteral("-h") || argument == QStringLiteral("--help")) {
            return ShowHelp{};
        } else if (argument == QStringLiteral("-v") || argument == QStringLiteral("--version")) {
            return ShowVersion{};
        } else {
            // Qt accepts its options with one dash or two, and "-style=NAME".
            const QString name = argument.mid(argument.startsWith(QStringLiteral("--")) ? 2 : 1);
            const QString bare = name.section(u'=', 0, 0);
            if (qtFlags.contains(name)) {
                continue;
            }
            if (!qtOptionsWithValue.contains(bare)) {
                return Misuse{misuse(QStringLiteral("unknown option '%1'").arg(argument))};
            }
            if (bare == name) {
                if (i + 1 >= arguments.size()) {
                    return Misuse{
                        misuse(QStringLiteral("option '%1' needs a value").arg(argument))};
                }
                ++i;
            }
        }
    }
    return run;
}

QString helpText() {
    return QStringLiteral(
        "Usage: paperlark [OPTION...] [FILE...]\n"
        "Scan paper into PDF and image files.\n"
        "\n"
        "Each FILE (JPEG, PNG, TIFF or BMP) is added to the page list as a page.\n"
        "When Paperlark is already running, the files go to its window.\n"
        "\n"
        "Options:\n"
        "  -h, --help     show this help and exit\n"
        "  -v, --version  show the version and exit\n"
        "  --             take every following argument as a file\n"
        "\n"
        "Qt's window-system options such as -platform NAME are accepted as well.\n");
}

QString versionText() {
    return BuildInfo::product + u' ' + BuildInfo::version() + u'\n';
}

} // namespace CommandLine
