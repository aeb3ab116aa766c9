#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <QtGlobal>

// A fresh HOME for one test, so settings, cache and documents all land in a
// throw-away folder; the previous HOME comes back when it goes away.
class TestHome {
public:
    TestHome() : saved_(qgetenv("HOME")) {
        qputenv("HOME", folder_.path().toLocal8Bit());
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_CACHE_HOME");
        QDir().mkpath(filePath(QStringLiteral("in")));
    }
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;
    ~TestHome() { qputenv("HOME", saved_); }

    bool isValid() const { return folder_.isValid(); }
    QString filePath(const QString& name) const { return folder_.filePath(name); }

private:
    QTemporaryDir folder_;
    QByteArray saved_;
};

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QJsonObject readJson(const QString& path) {
    return QJsonDocument::fromJson(readFile(path)).object();
}

inline QUrl writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    return ok ? QUrl::fromLocalFile(path) : QUrl();
}

// A small PNG stating its resolution.
inline QUrl writePng(const QString& path, int width, int height, int dpi) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    return image.save(path, "png") ? QUrl::fromLocalFile(path) : QUrl();
}
