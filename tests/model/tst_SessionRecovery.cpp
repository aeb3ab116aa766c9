// Sessions that end without cleaning up, and their recovery at the next start:
// a real model in a child process is killed (SIGKILL) in the middle of
// rotations, reorders and manifest writes; a new model offers its pages back.
// Also two instances at once, Discard, and a hostile cache folder.

#include "ModelFixture.h"

#include "model/ScannerViewModel.h"
#include "pages/DurableFile.h"
#include "pages/ImageFile.h"
#include "pages/PageRule.h"
#include "pages/SessionFolder.h"
#include "pages/SessionLock.h"
#include "pages/SessionManifest.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Only a hang ever takes this long.
constexpr int patience = 180000;

QString cacheRoot() {
    return SessionFolder::defaultCacheRoot();
}

// A page with structure, so that rotations and mix-ups show.
QImage picture(int width, int height, int seed) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            line[x] = qRgb((x * 7 + seed * 40) & 255, (y * 3 + x) & 255, (x * y + seed) & 255);
        }
    }
    return image;
}

// ~/in/NAME written as JPEG or PNG at 200 dpi.
QUrl writeInput(const TestHome& home, const QString& name, const QImage& image) {
    const QUrl url = QUrl::fromLocalFile(home.filePath(QStringLiteral("in/") + name));
    const auto written = name.endsWith(".jpg") ? ImageFile::writeJPEG(image, url, 200, 90)
                                               : ImageFile::writePNG(image, url, 200);
    return written ? url : QUrl();
}

// Every file below a folder with its bytes, to see that nothing changed.
QMap<QString, QByteArray> snapshot(const QString& folder) {
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path, readFile(path));
    }
    return files;
}

// A new folder among the sessions, with a manifest listing `pages`.
QString newSession(const QList<SessionManifest::Entry>& pages,
                   const QDateTime& changed = QDateTime::currentDateTimeUtc()) {
    const QString path = QDir(cacheRoot()).filePath(SessionFolder::folderName(QUuid::createUuid()));
    QDir().mkpath(path);
    SessionManifest({pages, changed}).write(path);
    return path;
}

QStringList sessionFolders() {
    return QDir(cacheRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

// "id:turns" for each page, in order.
QString stateOf(const ScannerViewModel::Pages& pages, const QHash<QUuid, int>& turns) {
    QStringList tokens;
    for (const auto& page : pages) {
        tokens << page->id().toString(QUuid::WithoutBraces) + u':' +
                      QString::number(turns.value(page->id()));
    }
    return tokens.join(u' ');
}

// ---- Child side ----------------------------------------------------------------

void say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

std::unique_ptr<ScannerViewModel> childModel(const QList<QUrl>& imports) {
    auto desktop = std::make_shared<FakeDesktopServices>();
    desktop->imageFilesAnswer = imports;
    return std::make_unique<ScannerViewModel>(desktop, std::make_unique<FakeScannerBrowser>());
}

// Stops at every durable write, before and after its rename, until told to
// go on (a line on standard input) or killed.
void pauseAtCommit(const QString& path, bool renamed) {
    say(QStringLiteral("pause %1 %2")
            .arg(renamed ? "after" : "before", QFileInfo(path).fileName()));
    char line[16];
    if (std::fgets(line, sizeof line, stdin) == nullptr) {
        std::_Exit(9);
    }
}

// Rotates and reorders forever; before each step announces the state it
// will lead to, after it the state reached.
int childTurns(const QStringList& imports) {
    DurableFile::setCommitHook(pauseAtCommit);
    QList<QUrl> urls;
    for (const QString& path : imports) {
        urls << QUrl::fromLocalFile(path);
    }
    auto model = childModel(urls);
    model->importFiles();
    if (!QTest::qWaitFor([&] { return !model->importing(); }, patience)) {
        return 4;
    }
    QHash<QUuid, int> turns;
    // A state is reached once its manifest is on disk.
    model->waitForSessionRecord();
    say(QStringLiteral("done ") + stateOf(model->pages(), turns));
    for (int step = 0;; ++step) {
        const auto pages = model->pages();
        if (step % 3 == 2) {
            // Reorder: the first page to the end, one place at a time.
            ScannerViewModel::Pages next = pages;
            next.move(0, next.size() - 1);
            say(QStringLiteral("next ") + stateOf(next, turns));
            model->setSelectedPageID(pages[0]->id());
            for (qsizetype i = 1; i < pages.size(); ++i) {
                model->moveSelection(1);
            }
        } else {
            const auto& page = pages[step % pages.size()];
            QHash<QUuid, int> after = turns;
            after[page->id()] += 1;
            say(QStringLiteral("next ") + stateOf(pages, after));
            if (!page->rotate(1)) {
                return 7;
            }
            model->notifyChanged();
            turns = after;
        }
        model->waitForSessionRecord();
        say(QStringLiteral("done ") + stateOf(model->pages(), turns));
    }
}

// Holds a session with one page until killed.
int childHold(const QStringList& imports) {
    auto model = childModel({QUrl::fromLocalFile(imports.first())});
    model->importFiles();
    if (!QTest::qWaitFor([&] { return !model->importing(); }, patience)) {
        return 4;
    }
    model->waitForSessionRecord();
    say(QStringLiteral("ready ") + model->sessionFolder().toLocalFile());
    return QCoreApplication::exec();
}

// Offers back every session under a memory limit (address space) only a
// little above what this process takes already, and says how many pages
// came back. (AddressSanitizer reserves far more address space than any
// limit would leave it: built with it, the process runs without one.)
int childMany() {
#if !defined(__SANITIZE_ADDRESS__)
    QFile status(QStringLiteral("/proc/self/status"));
    qint64 taken = 0;
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmSize:")) {
                taken = line.mid(7).trimmed().split(' ').first().toLongLong() * 1024;
            }
        }
    }
    const rlimit limit{rlim_t(taken + (qint64{512} << 20)), rlim_t(taken + (qint64{512} << 20))};
    if (taken == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0) {
        return 2;
    }
#endif
    auto desktop = std::make_shared<FakeDesktopServices>();
    desktop->restoreAnswers = {true};
    ScannerViewModel model(desktop, std::make_unique<FakeScannerBrowser>());
    bool finished = false;
    QObject::connect(&model, &ScannerViewModel::recoveryFinished, [&] { finished = true; });
    model.offerRecovery();
    if (!QTest::qWaitFor([&] { return finished; }, patience)) {
        return 3;
    }
    say(QStringLiteral("restored %1").arg(model.pages().size()));
    return 0;
}

} // namespace

class tst_SessionRecovery : public QObject, ModelFixture {
    Q_OBJECT

    // This test binary as a child in `mode` (see main()), with this test's HOME.
    std::unique_ptr<QProcess> startChild(const QString& mode, const QStringList& inputs) {
        auto child = std::make_unique<QProcess>();
        child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child->start(QCoreApplication::applicationFilePath(), QStringList{mode} + inputs);
        child->waitForStarted(patience);
        return child;
    }

    // At least `atLeast` lines from the child (fewer if it ends first).
    static QStringList readLines(QProcess& child, int atLeast) {
        QStringList lines;
        while (lines.size() < atLeast) {
            if (!child.canReadLine() && !child.waitForReadyRead(patience)) {
                break;
            }
            while (child.canReadLine()) {
                lines << QString::fromUtf8(child.readLine()).trimmed();
            }
        }
        return lines;
    }

    static void kill(QProcess& child) {
        child.kill();
        child.waitForFinished(patience);
    }

    // A new model, as at the next start, offering what it finds.
    void startAgain(QList<bool> answers) {
        model_.reset();
        desktop_ = std::make_shared<FakeDesktopServices>();
        desktop_->restoreAnswers = std::move(answers);
        model_ = makeModel();
        QSignalSpy finished(model_.get(), &ScannerViewModel::recoveryFinished);
        model_->offerRecovery();
        QVERIFY(finished.wait(patience));
    }

private Q_SLOTS:
    void init() { QVERIFY(startCase(false)); }
    void cleanup() { endCase(); }

    void aKillMidRotationOrManifestLeavesBeforeOrAfter() {
        // Large enough that a rotation takes a while, so kills often land in
        // the middle of one (or of the manifest write after it).
        const QImage first = picture(1400, 1900, 3), second = picture(1100, 700, 4);
        const QUrl a = writeInput(*home_, "a.png", first);
        const QUrl b = writeInput(*home_, "b.jpg", second);
        const QImage secondDecoded = ImageFile::read(b, 0).value().image;
        // The child stops before and after every rename of a page file or the
        // manifest; each attempt kills it at a later stop once the two
        // imports are done.
        for (int attempt = 0; attempt < 12; ++attempt) {
            const int killAt = attempt * 3;
            auto child = startChild("--turns", {a.toLocalFile(), b.toLocalFile()});
            QStringList rest;
            for (int pauses = 0; child->state() == QProcess::Running;) {
                const QStringList lines = readLines(*child, 1);
                QVERIFY2(!lines.isEmpty(), qPrintable(rest.join(" | ")));
                bool killed = false;
                for (const QString& line : lines) {
                    rest << line;
                    if (!line.startsWith("pause ")) {
                        continue;
                    }
                    const bool imported = rest.filter(QRegularExpression("^done ")).size() > 0;
                    if (imported && pauses++ == killAt) {
                        kill(*child);
                        killed = true;
                        break;
                    }
                    child->write("\n");
                }
                if (killed) {
                    break;
                }
            }
            QStringList allowed;
            for (const QString& line : rest) {
                if (line.startsWith("done ")) {
                    allowed = {line.mid(5)};
                } else if (line.startsWith("next ")) {
                    allowed << line.mid(5);
                }
            }
            QVERIFY2(!allowed.isEmpty(), qPrintable(rest.join(" | ")));

            startAgain({true});
            QCOMPARE(desktop_->restoreQuestions.size(), 1);
            QVERIFY2(QRegularExpression("^Paperlark closed before these pages were saved\\. "
                                        "Restore 2 page\\(s\\) from \\d{1,2} [A-Z][a-z]{2} "
                                        "\\d{4} at \\d\\d:\\d\\d\\?$")
                         .match(desktop_->restoreQuestions.first())
                         .hasMatch(),
                     qPrintable(desktop_->restoreQuestions.first()));
            QCOMPARE(model_->pages().size(), 2);
            // The restored order and pixels are those of one of the allowed
            // states: the originals turned as that state says, page by page.
            const auto matches = [&](const QString& candidate) {
                QHash<QUuid, int> turns;
                for (const QString& token : candidate.split(u' ')) {
                    turns.insert(QUuid::fromString(token.section(u':', 0, 0)),
                                 token.section(u':', 1).toInt());
                }
                if (stateOf(model_->pages(), turns) != candidate) {
                    return false;
                }
                for (const auto& page : model_->pages()) {
                    const auto image = page->loadFullImage();
                    const QImage& original =
                        page->pixelSize().width() + page->pixelSize().height() == 3300
                            ? first
                            : secondDecoded;
                    if (!image ||
                        image.value() !=
                            ImageFile::rotate(original, turns.value(page->id())).value()) {
                        return false;
                    }
                }
                return true;
            };
            QVERIFY2(std::any_of(allowed.cbegin(), allowed.cend(), matches),
                     qPrintable(QStringLiteral("attempt %1: allowed %2")
                                    .arg(attempt)
                                    .arg(allowed.join(" or "))));
            model_->cleanUp(); // clean for the next attempt
            QCOMPARE(sessionFolders(), QStringList());
        }
    }

    void twoInstancesAtOnceAndAPdfPageComesBackWithItsText() {
        // A page of a searchable PDF keeps its text layer beside its file.
        const QString pdf = QStringLiteral(PAPERLARK_SOURCE_DIR "/tests/data/pdf/ocrmypdf.pdf");
        auto child = startChild("--hold", {pdf});
        const QStringList said = readLines(*child, 1);
        QVERIFY2(!said.isEmpty() && said.first().startsWith("ready "), qPrintable(said.join("|")));
        const QString held = said.first().mid(6);
        const auto before = snapshot(held);

        // The running instance's folder is neither offered nor touched.
        startAgain({true});
        QVERIFY(desktop_->restoreQuestions.isEmpty() && model_->pages().isEmpty());
        QCOMPARE(snapshot(held), before);
        QVERIFY(SessionLock::isHeldElsewhere(held));

        // Once it is gone it is offered, the text layer with its page.
        kill(*child);
        const auto manifest = SessionManifest::read(held);
        QVERIFY(manifest && manifest->pages.size() == 1 && manifest->pages[0].text);
        startAgain({true});
        QCOMPARE(model_->pages().size(), 1);
        const auto page = model_->pages().first();
        QCOMPARE(page->textLayerURL(), ScannedPage::textLayerURLFor(page->cacheURL()));
        QVERIFY(QFileInfo::exists(page->textLayerURL().toLocalFile()));
        QVERIFY(!QFileInfo::exists(held));
        // Text recognition leaves it alone: a searchable PDF is saved at
        // once, with the text the page came with.
        model_->editSettings([](AppSettings& s) {
            s.ocrEnabled = true;
            s.format = OutputFormat::pdf;
        });
        QCOMPARE(model_->textRecognition().pendingCount(model_->pages()), 0);
        model_->save();
        QVERIFY(!model_->busy());
        QCOMPARE(model_->lastSavedFiles().size(), 1);
        QProcess text;
        text.start("pdftotext", {model_->lastSavedFiles().first().toLocalFile(), "-"});
        QVERIFY(text.waitForFinished(patience));
        QVERIFY(text.readAllStandardOutput().contains("Invisible words"));
    }

    void unsavedPagesAreKeptOnlyWhenAsked() {
        // (Unsaved pages kept and offered back: restoringLosesNothing.)
        // Fully saved pages are not kept: clean-up removes them as ever.
        model_ = makeModel();
        QVERIFY(importImages(2));
        QVERIFY(model_->saveCurrentPages());
        const QString folder = model_->sessionFolder().toLocalFile();
        model_->cleanUp(true);
        QVERIFY(!QFileInfo::exists(folder));
    }

    void turnedJpegsAndEarlierSessionsComeBackTurned() {
        const QImage photo = picture(90, 60, 11);
        // A page kept as JPEG and turned once: its bytes stay, the turn is
        // in the manifest.
        const QString jpegName = ScannedPage::makeCacheFileName(".jpg");
        const QUuid turnedId = QUuid::createUuid();
        const QString turned = newSession({{turnedId, jpegName, 200, "60 x 90 px @ 200 dpi", 1}});
        QVERIFY(ImageFile::writeJPEG(photo, QUrl::fromLocalFile(turned + "/" + jpegName), 200, 90));
        const QByteArray jpegBytes = readFile(turned + "/" + jpegName);
        const QImage decoded =
            ImageFile::read(QUrl::fromLocalFile(turned + "/" + jpegName), 0).value().image;
        // Left by an earlier version killed during a JPEG page's first
        // rotation: the manifest (version 1) names the JPEG, the turned PNG
        // of the same name is complete beside it.
        const QString earlierName = ScannedPage::makeCacheFileName(".jpg");
        const QUuid earlierId = QUuid::createUuid();
        const QString earlier = newSession({{earlierId, earlierName, 200, "90 x 60 px @ 200 dpi"}},
                                           QDateTime::currentDateTimeUtc().addDays(-1));
        QVERIFY(readFile(earlier + "/manifest.json").contains("\"version\": 1"));
        QVERIFY(
            ImageFile::writeJPEG(photo, QUrl::fromLocalFile(earlier + "/" + earlierName), 200, 90));
        const QString earlierPng =
            ScannedPage::rotatedCacheURL(QUrl::fromLocalFile(earlier + "/" + earlierName))
                .toLocalFile();
        QVERIFY(ImageFile::writePNG(ImageFile::rotate(decoded, 1).value(),
                                    QUrl::fromLocalFile(earlierPng), 200));

        startAgain({true, true});
        QCOMPARE(desktop_->restoreQuestions.size(), 2);
        const auto pages = model_->pages();
        QCOMPARE(pages.size(), 2);
        QCOMPARE(pages[0]->id(), turnedId);
        QCOMPARE(pages[0]->cacheTurns(), 1);
        QVERIFY(pages[0]->cacheURL().fileName().endsWith(".jpg"));
        QCOMPARE(readFile(pages[0]->cacheURL().toLocalFile()), jpegBytes);
        QCOMPARE(pages[1]->id(), earlierId);
        QCOMPARE(pages[1]->cacheTurns(), 0);
        QVERIFY(pages[1]->cacheURL().fileName().endsWith(".png"));
        for (const auto& page : pages) {
            QCOMPARE(page->pixelSize(), QSizeF(60, 90));
            QCOMPARE(page->loadFullImage().value(), ImageFile::rotate(decoded, 1).value());
            QCOMPARE(page->thumbnail(),
                     ScannedPage::makeThumbnail(ImageFile::rotate(decoded, 1).value()));
        }
        // This run's manifest keeps the turn (written in the background).
        // (Turns that change only the manifest, the kill-mid-rotation run's.)
        const QString own = model_->sessionFolder().toLocalFile();
        QVERIFY(model_->waitForSessionRecord());
        QCOMPARE(SessionManifest::read(own)->pages[0].turns, 1);
    }

    void restoringLosesNothing() {
        // Pages at the highest resolution any door takes come back; a file
        // above it is refused at the door, not dropped at a restore.
        const QUrl normal = writeInput(*home_, "normal.png", picture(60, 80, 1));
        const QUrl highest = QUrl::fromLocalFile(home_->filePath("in/highest.png"));
        const QUrl over = QUrl::fromLocalFile(home_->filePath("in/over.png"));
        QVERIFY(ImageFile::writePNG(picture(70, 50, 2), highest, PageRule::maxDpi));
        QVERIFY(ImageFile::writePNG(picture(70, 50, 3), over, 2 * PageRule::maxDpi));
        desktop_->imageFilesAnswer = {normal, highest, over};
        model_ = makeModel();
        model_->importFiles();
        QTRY_VERIFY(!model_->importing());
        QCOMPARE(model_->pages().size(), 2);
        QCOMPARE(model_->errorMessage(), QString("Could not read the image at over.png."));
        const QString first = model_->sessionFolder().toLocalFile();
        model_->cleanUp(true); // ended with the pages unsaved, as by a crash

        // The same folder copied back from a backup: the same page ids.
        const QString copy =
            QDir(cacheRoot()).filePath(SessionFolder::folderName(QUuid::createUuid()));
        QVERIFY(QDir().mkdir(copy));
        for (const QString& name : QDir(first).entryList(QDir::Files)) {
            if (name != SessionLock::fileName) {
                QVERIFY(QFile::copy(first + "/" + name, copy + "/" + name));
            }
        }
        startAgain({true, true});
        QCOMPARE(desktop_->restoreQuestions.size(), 2);
        const auto countIds = [this] {
            QSet<QUuid> ids;
            QList<double> dpis;
            for (const auto& page : model_->pages()) {
                ids.insert(page->id());
                dpis << page->dpi();
                if (!page->loadFullImage()) {
                    return -1;
                }
            }
            std::sort(dpis.begin(), dpis.end());
            return dpis == QList<double>{200, 200, PageRule::maxDpi, PageRule::maxDpi}
                       ? int(ids.size())
                       : -2;
        };
        QCOMPARE(model_->pages().size(), 4);
        QCOMPARE(countIds(), 4);
        QCOMPARE(sessionFolders(),
                 QStringList{QFileInfo(model_->sessionFolder().toLocalFile()).fileName()});
        // All four come back after the next unclean end as well.
        model_->cleanUp(true);
        startAgain({true});
        QCOMPARE(model_->pages().size(), 4);
        QCOMPARE(countIds(), 4);

        // A page kept as JPEG and another entry naming the PNG of the same
        // name (the form earlier versions rotated such pages into): each
        // entry keeps its own file, and nothing that is not restored goes.
        model_->cleanUp();
        const QString jpegName = ScannedPage::makeCacheFileName(".jpg");
        const QString pngName =
            ScannedPage::rotatedCacheURL(QUrl::fromLocalFile("/" + jpegName)).fileName();
        const QString brokenName = ScannedPage::makeCacheFileName();
        const QString both =
            newSession({{QUuid::createUuid(), jpegName, 200, "40 x 30 px @ 200 dpi"},
                        {QUuid::createUuid(), pngName, 200, "30 x 40 px @ 200 dpi"},
                        {QUuid::createUuid(), brokenName, 200, "d"}});
        QVERIFY(ImageFile::writeJPEG(picture(40, 30, 4), QUrl::fromLocalFile(both + "/" + jpegName),
                                     200, 90));
        QVERIFY(ImageFile::writePNG(picture(30, 40, 5), QUrl::fromLocalFile(both + "/" + pngName),
                                    200));
        QVERIFY(writeFile(both + "/" + brokenName, "not a page").isValid());
        startAgain({true});
        QVERIFY(desktop_->restoreQuestions.first().contains("Restore 2 page(s) from "));
        QCOMPARE(model_->pages().size(), 2);
        QCOMPARE(model_->pages()[0]->pixelSize(), QSizeF(40, 30));
        QCOMPARE(model_->pages()[1]->pixelSize(), QSizeF(30, 40));
        // The page that did not check out stays where it was, with its folder.
        QCOMPARE(readFile(both + "/" + brokenName), QByteArray("not a page"));
        QCOMPARE(QDir(both).entryList({"page_*"}, QDir::Files), QStringList{brokenName});
    }

    void manyPagesUnderAMemoryLimit() {
        // 400 pages in a session, offered back by a child process whose
        // address space ends not far above what it needs.
        const QString folder =
            QDir(cacheRoot()).filePath(SessionFolder::folderName(QUuid::createUuid()));
        QVERIFY(QDir().mkpath(folder));
        SessionManifest manifest;
        manifest.changed = QDateTime::currentDateTimeUtc();
        const QImage page = picture(40, 30, 9);
        for (int i = 0; i < 400; ++i) {
            const QString name = ScannedPage::makeCacheFileName();
            QVERIFY(ImageFile::writePNG(page, QUrl::fromLocalFile(folder + "/" + name), 100));
            manifest.pages.append({QUuid::createUuid(), name, 100, "40 x 30 px @ 100 dpi"});
        }
        QVERIFY(manifest.write(folder));
        auto child = startChild("--many", {});
        const QStringList said = readLines(*child, 1);
        QVERIFY(child->state() == QProcess::NotRunning || child->waitForFinished(patience));
        QCOMPARE(said, QStringList{"restored 400"});
        QCOMPARE(child->exitStatus(), QProcess::NormalExit);
        QCOMPARE(child->exitCode(), 0);
    }

    void aHostileCacheIsLeftAlone() {
        const QString root = cacheRoot();
        QVERIFY(QDir().mkpath(root));
        const QString in = home_->filePath("in");
        const QUrl secret = writeInput(*home_, "secret.png", picture(50, 50, 8));
        const QString userFolder = home_->filePath("in/folder");
        QVERIFY(QDir().mkpath(userFolder));

        // A folder named after a session, with a manifest listing `files`.
        const auto session = [](const QStringList& files) {
            QList<SessionManifest::Entry> pages;
            for (const QString& file : files) {
                pages.append({QUuid::createUuid(), file, 100, "d"});
            }
            return newSession(pages);
        };
        const auto goodPage = [&](const QString& folder, int seed) {
            const QString name = ScannedPage::makeCacheFileName();
            ImageFile::writePNG(picture(20, 30, seed), QUrl::fromLocalFile(folder + "/" + name),
                                100);
            return name;
        };
        // A manifest in `folder` listing one good page of its own.
        const auto listed = [&](const QString& folder, int seed) {
            SessionManifest({{{QUuid::createUuid(), goodPage(folder, seed), 100, "d"}},
                             QDateTime::currentDateTimeUtc()})
                .write(folder);
        };

        const QString symlinked = session({ScannedPage::makeCacheFileName()});
        QFile::link(secret.toLocalFile(),
                    symlinked + "/" + SessionManifest::read(symlinked)->pages[0].file);
        // Names outside the folder are dropped, which leaves nothing to offer:
        // the folder holds nothing of its own and goes, the files named stay.
        const QString outside = session({"../../../in/secret.png", in + "/secret.png"});
        const QString torn = session({});
        const QString tornPage = goodPage(torn, 2);
        writeFile(
            torn + "/manifest.json",
            "{\"version\": 1, \"changed\": \"2026-01-01T00:00:00Z\", \"pages\": [{\"id\": \"" +
                QUuid::createUuid().toString().toUtf8() + "\", \"file\": \"" + tornPage.toUtf8() +
                "\"");
        const QString foreign = session({});
        listed(foreign, 4);
        const bool root_ = ::getuid() == 0;
        if (root_) {
            QVERIFY(QProcess::execute("chown", {"-R", "4242:4242", foreign}) == 0);
        }
        // A link among the sessions, to a user's folder that looks like one.
        const QString linkName =
            QDir(root).filePath(SessionFolder::folderName(QUuid::createUuid()));
        listed(userFolder, 5);
        QVERIFY(QFile::link(userFolder, linkName));
        const QString notASession = QDir(root).filePath("notes");
        QDir().mkpath(notASession);
        listed(notASession, 6);
        // (A folder a running instance holds: twoInstancesAtOnce...().)
        // Empty ones, which go silently.
        const QString bare = session({});
        QFile::remove(bare + "/manifest.json");
        const QString cleared = session({});
        goodPage(cleared, 10); // taken off the list, kept for an undo
        // No page listed yet, but a file a scanner delivered: kept.
        const QString scanning = session({});
        writeFile(scanning + "/scan_0001.png", readFile(secret.toLocalFile()));
        const QString onlyLock = session({});
        QFile::remove(onlyLock + "/manifest.json");
        QVERIFY(SessionLock::acquire(onlyLock));
        // A folder an instance was still setting up when it ended; and one
        // that, oddly, holds a file of the user's: kept.
        const QString staging = root + "/." + SessionFolder::folderName(QUuid::createUuid());
        QVERIFY(QDir().mkdir(staging));
        QVERIFY(SessionLock::acquire(staging));
        const QString stagingWithFile =
            root + "/." + SessionFolder::folderName(QUuid::createUuid());
        QVERIFY(QDir().mkdir(stagingWithFile));
        writeFile(stagingWithFile + "/notes.txt", "mine");
        // A broken page beside a good one: only the good one counts.
        const QString halfBroken = session({});
        const QString broken = goodPage(halfBroken, 8);
        const QByteArray brokenBytes = readFile(halfBroken + "/" + broken);
        writeFile(halfBroken + "/" + broken, brokenBytes.left(brokenBytes.size() / 2));
        const QString good = goodPage(halfBroken, 9);
        SessionManifest(
            {{{QUuid::createUuid(), broken, 100, "d"}, {QUuid::createUuid(), good, 100, "d"}},
             QDateTime::currentDateTimeUtc().addDays(-1)})
            .write(halfBroken);

        const auto users = snapshot(in);
        const QStringList untouched = {symlinked,   torn,     foreign,
                                       notASession, scanning, stagingWithFile};
        QMap<QString, QMap<QString, QByteArray>> before;
        for (const QString& folder : untouched) {
            before.insert(folder, snapshot(folder));
        }

        startAgain({false});
        QCOMPARE(desktop_->restoreQuestions.size(), 1);
        QVERIFY(desktop_->restoreQuestions.first().contains("Restore 1 page(s) from "));
        // Discarded: its page went; the broken one, never offered, stays.
        QCOMPARE(QDir(halfBroken).entryList({"page_*"}, QDir::Files), QStringList{broken});
        for (const QString& gone : {bare, cleared, onlyLock, outside, staging}) {
            QVERIFY2(!QFileInfo::exists(gone), qPrintable(gone));
        }
        for (const QString& folder : untouched) {
            // The manifest of a folder looked at may have gained a lock file;
            // nothing else changed.
            auto now = snapshot(folder);
            now.remove(QDir(folder).filePath(SessionLock::fileName));
            auto then = before.value(folder);
            then.remove(QDir(folder).filePath(SessionLock::fileName));
            QCOMPARE(now, then);
        }
        QCOMPARE(snapshot(in), users);
        QVERIFY(QFileInfo(linkName).isSymLink());
        if (root_) {
            QCOMPARE(QFileInfo(foreign).ownerId(), 4242u);
            QVERIFY(!QFileInfo::exists(QDir(foreign).filePath(SessionLock::fileName)));
        }
    }
};

int main(int argc, char** argv) {
    if (argc >= 2 && argv[1][0] == '-' && argv[1][1] == '-' &&
        (qstrcmp(argv[1], "--turns") == 0 || qstrcmp(argv[1], "--hold") == 0 ||
         qstrcmp(argv[1], "--many") == 0)) {
        QCoreApplication app(argc, argv);
        const QStringList inputs = app.arguments().mid(2);
        const QByteArray mode = argv[1];
        if (mode == "--turns") {
            return childTurns(inputs);
        }
        if (mode == "--many") {
            return childMany();
        }
        return childHold(inputs);
    }
    QCoreApplication app(argc, argv);
    tst_SessionRecovery test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_SessionRecovery.moc"
