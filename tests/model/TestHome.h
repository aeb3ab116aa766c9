#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
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

// `count` small 100-dpi PNG files in ~/in, named from `first` on.
inline QList<QUrl> writePngs(const TestHome& home, qsizetype first, int count) {
    QList<QUrl> urls;
    for (int i = 0; i < count; ++i) {
        const QString path = home.filePath(QStringLiteral("in/%1.png").arg(first + i));
        QImage image(30 + i, 40, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        image.setDotsPerMeterX(3937);
        image.setDotsPerMeterY(3937);
        urls << (image.save(path, "png") ? QUrl::fromLocalFile(path) : QUrl());
    }
    return urls;
}
