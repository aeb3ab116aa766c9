// A page file and the announcement of it, as a scanner worker could make
// them, taken on by WorkerPageFile::adopt. Built as a libFuzzer target in
// the "fuzz" build and replayed over a small corpus by the test suite.
//
// An input is one byte for how the file is put into the scan's folder, one
// byte for the name it is announced by, and then the file's bytes. After
// every input:
//  - the user's file and folder outside the scan's folder are as they were;
//  - a refusal leaves the scan's folder as it was;
//  - a page taken on is a regular file of ours with one name, directly in
//    the scan's folder under a name of the application's form, and the
//    worker's name for it is gone; nothing else in the folder changed.
// Any other outcome aborts.
// The files live in a folder of their own under /tmp, removed at exit.

#include "scanning/worker/WorkerPageFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QUuid>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray decoyBytes = "the user's own file, which no announcement may reach";

struct Places {
    QString root;
    QString session;
    QString outside;
};

const Places& places() {
    static const Places made = [] {
        char pattern[] = "/tmp/fuzz-workerpagefile-XXXXXX";
        const char* root = ::mkdtemp(pattern);
        if (!root) {
            std::abort();
        }
        Places p{QString::fromLocal8Bit(root), QString(), QString()};
        p.session = p.root + "/session";
        p.outside = p.root + "/user";
        QDir().mkpath(p.outside + "/folder");
        QFile decoy(p.outside + "/decoy.png");
        if (!decoy.open(QIODevice::WriteOnly) || decoy.write(decoyBytes) != decoyBytes.size()) {
            std::abort();
        }
        return p;
    }();
    return made;
}

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Names and what they stand for, one level deep (inode, or -1 for a link).
QMap<QString, qint64> listing(const QString& folder) {
    QMap<QString, qint64> entries;
    for (const QString& name : QDir(folder).entryList(QDir::AllEntries | QDir::Hidden |
                                                      QDir::System | QDir::NoDotAndDotDot)) {
        struct stat info {};
        const QByteArray path = QFile::encodeName(folder + "/" + name);
        entries.insert(name, ::lstat(path.constData(), &info) == 0 && !S_ISLNK(info.st_mode)
                                 ? qint64(info.st_ino)
                                 : -1);
    }
    return entries;
}

void empty(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    for (const QString& name : listing(folder).keys()) {
        const QByteArray entry = QFile::encodeName(folder + "/" + name);
        struct stat info {};
        if (::lstat(entry.constData(), &info) == 0 && S_ISDIR(info.st_mode)) {
            ::rmdir(entry.constData());
        } else {
            ::unlink(entry.constData());
        }
    }
    ::rmdir(path.constData());
}

// The announced path for a choice; `placed` gets the name the file is put
// under (the worker's usual one where the announcement names none).
QString announcement(std::uint8_t choice, const Places& p, QString& placed) {
    static const QStringList names = {
        "page-1.png",
        "page-1.jpg",
        "page-01.png",
        "page-1.PNG",
        "page_" + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + ".png",
        "manifest.json",
        ".page-partial-1",
        "page-99999999999.png",
        "page-1.png/",
        "pagex/../page-1.png",
        "../user/decoy.png",
        "",
    };
    if (choice < names.size()) {
        const QString& name = names[choice];
        placed = name.isEmpty() || name.contains(u'/') ? QStringLiteral("page-1.png") : name;
        return p.session + "/" + name;
    }
    placed = QStringLiteral("page-1.png");
    return choice % 2 ? p.outside + "/decoy.png" : p.session + "//page-1.png";
}

// Puts the file into the folder the way `how` says.
void place(std::uint8_t how, const Places& p, const QString& name, const QByteArray& bytes) {
    const QString path = p.session + "/" + name;
    const QByteArray target = QFile::encodeName(path);
    const auto write = [&bytes](const QString& at) {
        QFile file(at);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    switch (how % 7) {
    case 0: // a file of its own
        write(path);
        break;
    case 1: // a link to the user's file
        QFile::link(p.outside + "/decoy.png", path);
        break;
    case 2: // a second name of the user's file
        ::link(QFile::encodeName(p.outside + "/decoy.png").constData(), target.constData());
        break;
    case 3:
        ::mkfifo(target.constData(), 0600);
        break;
    case 4:
        ::mkdir(target.constData(), 0700);
        break;
    case 5: // a file with a second name in the folder
        write(path);
        ::link(target.constData(), QFile::encodeName(p.session + "/other").constData());
        break;
    case 6: // a link to the user's folder
        QFile::link(p.outside + "/folder", p.session + "/pagex");
        write(path);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    places();
    // Runs before the places are destroyed; links are removed, not followed.
    std::atexit([] { QDir(places().root).removeRecursively(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const Places& p = places();
    empty(p.session);
    QDir().mkpath(p.session);
    QString placed;
    const QString announced = announcement(data[1], p, placed);
    place(data[0], p, placed,
          QByteArray(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2)));
    const auto before = listing(p.session);
    const auto outsideBefore = listing(p.outside);

    const auto adopted = WorkerPageFile::adopt(p.session, QStringLiteral("page"), announced);

    QFile decoy(p.outside + "/decoy.png");
    check(decoy.open(QIODevice::ReadOnly) && decoy.readAll() == decoyBytes);
    check(listing(p.outside) == outsideBefore);
    auto after = listing(p.session);
    if (!adopted) {
        check(after == before);
        return 0;
    }
    const QString path = adopted.value().toLocalFile();
    const QString name = path.section(u'/', -1);
    check(path == p.session + "/" + name);
    check(QRegularExpression("^scan_[0-9A-F-]{36}\\.(png|jpg)$").match(name).hasMatch());
    struct stat info {};
    check(::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode) &&
          info.st_nlink == 1);
    check(before.contains(placed) && !after.contains(placed));
    check(after.take(name) == before.value(placed));
    auto rest = before;
    rest.remove(placed);
    check(after == rest);
    return 0;
}
