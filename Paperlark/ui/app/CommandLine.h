#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <variant>

// What the program's arguments ask for, worked out before any window or
// display is needed:
//
//   paperlark [--help | --version] [--] [FILE...]
//
// Qt's own window-system options (-platform, -style, -reverse...) are
// recognised and left to QApplication, which reads them from argv itself.
namespace CommandLine {

// Start (or hand the files to the running Paperlark), then import the files.
struct Run {
    // Local file URLs with absolute paths, in the order given.
    QList<QUrl> files;
};
struct ShowHelp {};
struct ShowVersion {};
// The arguments make no sense; `message` is one line without a line break.
struct Misuse {
    QString message;
};

using Request = std::variant<Run, ShowHelp, ShowVersion, Misuse>;

// The exit status of a misused command line.
constexpr int misuseStatus = 2;

// `arguments` without the program name; relative paths are taken from
// `workingDirectory`. "--help" and "--version" win over everything after
// them, as long as the arguments before them are sound.
Request parse(const QStringList& arguments, const QString& workingDirectory);

// The texts printed for --help and --version, each ending in a line break.
QString helpText();
QString versionText();

} // namespace CommandLine
