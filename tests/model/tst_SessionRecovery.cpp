// Sessions that end without cleaning up, and their recovery at the next start:
// a real model in a child process is killed (SIGKILL) after real work, or in
// the middle of rotations and manifest writes; a new model offers its pages
// back. Also two instances at once, Discard, and a hostile cache folder.

#include "FakeDesktopServices.h"
#include "TestHome.h"

#include "model/ScannerViewModel.h"
#include "pages/DurableFile.h"
#include "pages/ImageFile.h"
#include "pages/SessionFolder.h"
#include "pages/SessionLock.h"
#include "pages/SessionManifest.h"
#include "scanning/fake/FakeScannerBrowser.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>
#include <functional>
#include <memory>
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

std::unique_ptr<ScannerViewModel> childModel(bool sane, const QList<QUrl>& imports) {
    auto desktop = std::make_shared<FakeDesktopServices>();
    desktop->imageFilesAnswer = imports;
    auto model =
        sane ? std::make_unique<ScannerViewModel>(desktop)
             : std::make_unique<ScannerViewModel>(desktop, std::make_unique<FakeScannerBrowser>());
    model->editSettings([](AppSettings& s) { s.format = OutputFormat::pdf; });
    return model;
}

bool waitFor(const std::function<bool()>& condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > patience) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

// Scans from the SANE test scanner, imports, rotates, reorders, saves the
// PDF an uninterrupted run makes, then waits to be killed.
int childWork(const QStringList& imports) {
    QList<QUrl> urls;
    for (const QString& path : imports) {
        urls << QUrl::fromLocalFile(path);
    }
    auto model = childModel(true, urls);
    if (!waitFor([&] { return model->devices().size() == 2; })) {
        return 2;
    }
    model->setSelectedDeviceID(QStringLiteral("test:0"));
    model->editSettings([](AppSettings& s) {
        s.source = ScanSource::flatbed;
        s.colour = ColourMode::colour;
        s.paper = PaperSize::a5;
        s.dpi = 50;
    });
    model->scan();
    if (!waitFor([&] { return !model->busy(); }) || model->pages().size() != 1) {
        return 3;
    }
    model->importFiles();
    if (!waitFor([&] { return !model->importing(); }) ||
        model->pages().size() != 1 + imports.size()) {
        return 4;
    }
    // The JPEG import turns, the first page moves down one place.
    if (!model->pages()[1]->rotate(1)) {
        return 5;
    }
    model->notifyChanged();
    model->setSelectedPageID(model->pages()[0]->id());
    model->moveSelection(1);
    model->setFileName(QStringLiteral("uninterrupted"));
    if (!model->saveCurrentPages()) {
        return 6;
    }
    QStringList ids;
    for (const auto& page : model->pages()) {
        ids << page->id().toString(QUuid::WithoutBraces);
    }
    model->waitForSessionRecord();
    say(QStringLiteral("ready ") + ids.join(u' '));
    return QCoreApplication::exec();
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
    auto model = childModel(false, urls);
    model->importFiles();
    waitFor([&] { return !model->importing(); });
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
    auto model = childModel(false, {QUrl::fromLocalFile(imports.first())});
    model->importFiles();
    waitFor([&] { return !model->importing(); });
    model->waitForSessionRecord();
    say(QStringLiteral("ready ") + model->sessionFolder().toLocalFile());
    return QCoreApplication::exec();
}

} // namespace

class tst_SessionRecovery : public QObject {
    Q_OBJECT

    std::optional<TestHome> home_;
    std::shared_ptr<FakeDesktopServices> desktop_;
    std::unique_ptr<ScannerViewModel> model_;

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
        model_ =
            std::make_unique<ScannerViewModel>(desktop_, std::make_unique<FakeScannerBrowser>());
        QSignalSpy finished(model_.get(), &ScannerViewModel::recoveryFinished);
        model_->offerRecovery();
        QVERIFY(finished.wait(patience));
    }

    // The images of a PDF, page by page, as pdfimages extracts them.
    QList<QImage> pdfImages(const QString& pdf, const QString& prefix) {
        QProcess tool;
        tool.start(QStringLiteral("pdfimages"), {QStringLiteral("-png"), pdf, prefix});
        if (!tool.waitForFinished(patience) || tool.exitCode() != 0) {
            return {};
        }
        QList<QImage> images;
        const QFileInfo info(prefix);
        for (const QString& name :
             QDir(info.absolutePath())
                 .entryList({info.fileName() + "-*.png"}, QDir::Files, QDir::Name)) {
            images << QImage(info.absolutePath() + u'/' + name);
        }
        return images;
    }

private Q_SLOTS:
    // Each case in a HOME of its own (the model of the case before goes
    // first: it lives in the HOME it was made in).
    void init() {
        model_.reset();
        home_.emplace();
        QVERIFY(home_->isValid());
    }
    void cleanupTestCase() {
        model_.reset();
        home_.reset();
    }

    void aKilledSessionComesBackAsItWas() {
        if (qEnvironmentVariableIsEmpty("SANE_CONFIG_DIR")) {
            QSKIP("needs the SANE test backend that scripts/test-env.sh configures");
        }
        const QUrl jpeg = writeInput(*home_, "photo.jpg", picture(300, 420, 1));
        const QUrl png = writeInput(*home_, "drawing.png", picture(250, 180, 2));
        QVERIFY(!jpeg.isEmpty() && !png.isEmpty());
        auto child = startChild("--work", {jpeg.toLocalFile(), png.toLocalFile()});
        const QStringList said = readLines(*child, 1);
        QVERIFY2(!said.isEmpty() && said.first().startsWith("ready "),
                 qPrintable(said.join(" | ")));
        const QStringList ids = said.first().mid(6).split(u' ');
        QCOMPARE(ids.size(), 3);
        kill(*child);
        QCOMPARE(sessionFolders().size(), 1);

        startAgain({true});
        QCOMPARE(desktop_->restoreQuestions.size(), 1);
        QVERIFY2(QRegularExpression("^Paperlark closed before these pages were saved\\. Restore 3 "
                                    "page\\(s\\) from \\d{1,2} [A-Z][a-z]{2} \\d{4} at "
                                    "\\d\\d:\\d\\d\\?$")
                     .match(desktop_->restoreQuestions.first())
                     .hasMatch(),
                 qPrintable(desktop_->restoreQuestions.first()));
        QStringList restored;
        for (const auto& page : model_->pages()) {
            restored << page->id().toString(QUuid::WithoutBraces);
            QCOMPARE(QFileInfo(page->cacheURL().toLocalFile()).absolutePath(),
                     model_->sessionFolder().toLocalFile());
        }
        QCOMPARE(restored, ids);
        QCOMPARE(model_->status(), QStringLiteral("3 page(s) ready."));
        QCOMPARE(model_->selectedPageID(), model_->pages().last()->id());
        // The old folder went once its pages had moved.
        QCOMPARE(sessionFolders(),
                 QStringList{QFileInfo(model_->sessionFolder().toLocalFile()).fileName()});
        QCOMPARE(model_->unsavedPageCount(), 3);

        // The same document as the run that was not interrupted.
        model_->setFileName(QStringLiteral("restored"));
        const auto saved = model_->saveCurrentPages();
        QVERIFY(saved && saved->size() == 1);
        const QString folder = QFileInfo(saved->first().toLocalFile()).absolutePath();
        const QList<QImage> expected =
            pdfImages(folder + "/uninterrupted.pdf", folder + "/expected");
        const QList<QImage> actual = pdfImages(saved->first().toLocalFile(), folder + "/actual");
        QCOMPARE(expected.size(), 3);
        QCOMPARE(actual.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QVERIFY(!expected[i].isNull());
            QCOMPARE(actual[i], expected[i]);
        }
        QCOMPARE(model_->unsavedPageCount(), 0);
    }

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

    void twoInstancesAtOnceAndDiscard() {
        const QUrl png = writeInput(*home_, "one.png", picture(80, 60, 5));
        auto child = startChild("--hold", {png.toLocalFile()});
        const QStringList said = readLines(*child, 1);
        QVERIFY2(!said.isEmpty() && said.first().startsWith("ready "), qPrintable(said.join("|")));
        const QString held = said.first().mid(6);
        const auto before = snapshot(held);
        QCOMPARE(before.size(), 3); // lock, manifest, page

        // The running instance's folder is neither offered nor touched.
        startAgain({true});
        QVERIFY(desktop_->restoreQuestions.isEmpty());
        QVERIFY(model_->pages().isEmpty());
        QCOMPARE(snapshot(held), before);
        QVERIFY(SessionLock::isHeldElsewhere(held));

        // Once it is gone it is offered; Discard removes that folder only.
        kill(*child);
        startAgain({false});
        QCOMPARE(desktop_->restoreQuestions.size(), 1);
        QVERIFY(desktop_->restoreQuestions.first().contains("Restore 1 page(s) from "));
        QVERIFY(model_->pages().isEmpty());
        QVERIFY(!QFileInfo::exists(held));
        QCOMPARE(sessionFolders(),
                 QStringList{QFileInfo(model_->sessionFolder().toLocalFile()).fileName()});
        QCOMPARE(readFile(png.toLocalFile()).isEmpty(), false);
    }

    void unsavedPagesAreKeptOnlyWhenAsked() {
        desktop_ = std::make_shared<FakeDesktopServices>();
        desktop_->imageFilesAnswer = {writeInput(*home_, "x.png", picture(40, 30, 6)),
                                      writeInput(*home_, "y.png", picture(30, 40, 7))};
        model_ =
            std::make_unique<ScannerViewModel>(desktop_, std::make_unique<FakeScannerBrowser>());
        model_->importFiles();
        QTRY_VERIFY(!model_->importing());
        QCOMPARE(model_->unsavedPageCount(), 2);
        QVERIFY(model_->saveCurrentPages());
        QCOMPARE(model_->unsavedPageCount(), 0);
        QVERIFY(model_->pages()[1]->rotate(2));
        model_->notifyChanged();
        QCOMPARE(model_->unsavedPageCount(), 1); // changed since
        model_->setSelectedPageID(model_->pages()[0]->id());
        model_->moveSelection(1);
        QCOMPARE(model_->unsavedPageCount(), 1); // order does not count

        const QString folder = model_->sessionFolder().toLocalFile();
        model_->cleanUp(true);
        QVERIFY(QFileInfo::exists(QDir(folder).filePath(SessionManifest::fileName)));
        QVERIFY(!SessionLock::isHeldElsewhere(folder));
        const auto manifest = SessionManifest::read(folder);
        QVERIFY(manifest);
        QCOMPARE(manifest->pages.size(), 2);
        QCOMPARE(manifest->pages[0].id, model_->pages()[0]->id());

        startAgain({true});
        QCOMPARE(model_->pages().size(), 2);
        // Fully saved pages are not kept: clean-up removes them as before.
        QVERIFY(model_->saveCurrentPages());
        const QString now = model_->sessionFolder().toLocalFile();
        model_->cleanUp(true);
        QVERIFY(!QFileInfo::exists(now));
    }

    void turnedJpegsAndEarlierSessionsComeBackTurned() {
        const QString root = cacheRoot();
        const auto folderWith = [&](const SessionManifest::Entry& entry, const QDateTime& when) {
            const QString path =
                QDir(root).filePath(SessionFolder::folderName(QUuid::createUuid()));
            QDir().mkpath(path);
            SessionManifest({{entry}, when}).write(path);
            return path;
        };
        const QImage photo = picture(90, 60, 11);
        // A page kept as JPEG and turned once: its bytes stay, the turn is
        // in the manifest.
        const QString jpegName = ScannedPage::makeCacheFileName(".jpg");
        const QUuid turnedId = QUuid::createUuid();
        const QString turned = folderWith({turnedId, jpegName, 200, "60 x 90 px @ 200 dpi", 1},
                                          QDateTime::currentDateTimeUtc());
        QVERIFY(ImageFile::writeJPEG(photo, QUrl::fromLocalFile(turned + "/" + jpegName), 200, 90));
        const QByteArray jpegBytes = readFile(turned + "/" + jpegName);
        const QImage decoded =
            ImageFile::read(QUrl::fromLocalFile(turned + "/" + jpegName), 0).value().image;
        // Left by an earlier version killed during a JPEG page's first
        // rotation: the manifest (version 1) names the JPEG, the turned PNG
        // of the same name is complete beside it.
        const QString earlierName = ScannedPage::makeCacheFileName(".jpg");
        const QUuid earlierId = QUuid::createUuid();
        const QString earlier = folderWith({earlierId, earlierName, 200, "90 x 60 px @ 200 dpi"},
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
        // This run's manifest keeps the turn; one more turn upright again
        // writes nothing but the manifest, which goes back to version 1.
        // (The manifest is written in the background.)
        const QString own = model_->sessionFolder().toLocalFile();
        QVERIFY(model_->waitForSessionRecord());
        QCOMPARE(SessionManifest::read(own)->pages[0].turns, 1);
        QVERIFY(pages[0]->rotate(3));
        model_->notifyChanged();
        QCOMPARE(readFile(pages[0]->cacheURL().toLocalFile()), jpegBytes);
        QCOMPARE(pages[0]->loadFullImage().value(), decoded);
        QVERIFY(model_->waitForSessionRecord());
        QCOMPARE(SessionManifest::read(own)->pages[0].turns, 0);
        QVERIFY(readFile(own + "/manifest.json").contains("\"version\": 1"));
    }

    void aHostileCacheIsLeftAlone() {
        const QString root = cacheRoot();
        QVERIFY(QDir().mkpath(root));
        const QString in = home_->filePath("in");
        const QUrl secret = writeInput(*home_, "secret.png", picture(50, 50, 8));
        const QUrl hardSecret = writeInput(*home_, "hard.png", picture(50, 50, 9));
        const QString userFolder = home_->filePath("in/folder");
        QVERIFY(QDir().mkpath(userFolder));

        // A folder named after a session, with a manifest listing `files`.
        const auto session = [&](const QStringList& files) {
            const QString path =
                QDir(root).filePath(SessionFolder::folderName(QUuid::createUuid()));
            QDir().mkpath(path);
            SessionManifest manifest;
            manifest.changed = QDateTime::currentDateTimeUtc();
            for (const QString& file : files) {
                manifest.pages.append({QUuid::createUuid(), file, 100, "d"});
            }
            manifest.write(path);
            return path;
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
        const QString hardLinked = session({ScannedPage::makeCacheFileName()});
        QCOMPARE(::link(QFile::encodeName(hardSecret.toLocalFile()).constData(),
                        QFile::encodeName(hardLinked + "/" +
                                          SessionManifest::read(hardLinked)->pages[0].file)
                            .constData()),
                 0);
        // Names outside the folder are dropped, which leaves nothing to offer:
        // the folder holds nothing of its own and goes, the files named stay.
        const QString outside = session({"../../../in/secret.png", in + "/secret.png"});
        const QString huge = session({});
        goodPage(huge, 1);
        writeFile(huge + "/manifest.json", "{\"version\": 1, \"pages\": []" +
                                               QByteArray(SessionManifest::maxBytes, ' ') + "}");
        const QString torn = session({});
        const QString tornPage = goodPage(torn, 2);
        writeFile(
            torn + "/manifest.json",
            "{\"version\": 1, \"changed\": \"2026-01-01T00:00:00Z\", \"pages\": [{\"id\": \"" +
                QUuid::createUuid().toString().toUtf8() + "\", \"file\": \"" + tornPage.toUtf8() +
                "\"");
        const QString latin1 = session({});
        const QString latinPage = goodPage(latin1, 3);
        writeFile(
            latin1 + "/manifest.json",
            QByteArray(R"({"version": 1, "changed": "2026-01-01T00:00:00Z", "pages": [{"id": ")") +
                QUuid::createUuid().toString().toUtf8() + R"(", "file": ")" + latinPage.toUtf8() +
                "\", \"dpi\": 100, \"description\": \"caf\xE9\"}]}");
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
        // Held by a running instance.
        const QString locked = session({});
        listed(locked, 7);
        const auto lock = SessionLock::acquire(locked);
        QVERIFY(lock);
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
        const QStringList untouched = {symlinked, hardLinked,  huge,   torn,           latin1,
                                       foreign,   notASession, locked, stagingWithFile};
        QMap<QString, QMap<QString, QByteArray>> before;
        for (const QString& folder : untouched) {
            before.insert(folder, snapshot(folder));
        }

        startAgain({false});
        QCOMPARE(desktop_->restoreQuestions.size(), 1);
        QVERIFY(desktop_->restoreQuestions.first().contains("Restore 1 page(s) from "));
        QVERIFY(!QFileInfo::exists(halfBroken)); // discarded
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
        (qstrcmp(argv[1], "--work") == 0 || qstrcmp(argv[1], "--turns") == 0 ||
         qstrcmp(argv[1], "--hold") == 0)) {
        QCoreApplication app(argc, argv);
        const QStringList inputs = app.arguments().mid(2);
        const QByteArray mode = argv[1];
        if (mode == "--work") {
            return childWork(inputs);
        }
        if (mode == "--turns") {
            return childTurns(inputs);
        }
        return childHold(inputs);
    }
    QCoreApplication app(argc, argv);
    tst_SessionRecovery test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_SessionRecovery.moc"
