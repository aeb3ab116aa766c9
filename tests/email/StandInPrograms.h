#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtGlobal>

// Puts a folder of stand-in programs first on PATH for the lifetime of the
// object, or, with `only`, makes it the whole PATH.
class PathFront {
public:
    explicit PathFront(const QString& folder, bool only = false) : saved_(qgetenv("PATH")) {
        qputenv("PATH", only ? folder.toLocal8Bit() : folder.toLocal8Bit() + ':' + saved_);
    }
    PathFront(const PathFront&) = delete;
    PathFront& operator=(const PathFront&) = delete;
    ~PathFront() { qputenv("PATH", saved_); }

private:
    QByteArray saved_;
};

// Writes an executable script; false when that fails.
inline bool writeScript(const QString& path, const QByteArray& text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) {
        return false;
    }
    file.close();
    return file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                               QFileDevice::ExeOwner);
}

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Arguments recorded as NUL-terminated strings.
inline QStringList splitRecordedArguments(const QByteArray& bytes) {
    QStringList arguments;
    for (const QByteArray& piece : bytes.split('\0')) {
        arguments << QString::fromUtf8(piece);
    }
    if (!arguments.isEmpty()) {
        arguments.removeLast();
    }
    return arguments;
}
