// The one way pages arrive: files, PDFs and folders off the GUI thread, in
// order, with their progress and one report of every file that gave no page;
// a scan's batch; restored pages; cancelling. (The user stopping a long PDF
// is tested from the window.)

#include "PageIds.h"

#include "model/ImageFileSource.h"
#include "model/PageImporter.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <unistd.h>

namespace {

QUrl pdfFixture(const QString& name) {
    return QUrl::fromLocalFile(QStringLiteral(PAPERLARK_SOURCE_DIR "/tests/data/pdf/") + name);
}

// In the format its name ends with.
QUrl writeImage(const QString& path, int width) {
    QImage image(width, 20, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return image.save(path) ? QUrl::fromLocalFile(path) : QUrl();
}

// A source whose page is made on a thread other than the GUI thread.
class ThreadCheckingSource : public ImageFileSource {
public:
    using ImageFileSource::ImageFileSource;
    std::optional<ImportFailure> makePages(const QUrl& folder, const Yield& yield,
                                           const std::atomic<bool>& cancelled) override {
        offGuiThread = QThread::currentThread() != QCoreApplication::instance()->thread();
        return ImageFileSource::makePages(folder, yield, cancelled);
    }
    inline static bool offGuiThread = false;
};

} // namespace

class tst_PageImporter : public QObject {
    Q_OBJECT

    std::optional<TestHome> home_;
    std::unique_ptr<PageDocument> doc_;
    std::unique_ptr<PageImporter> importer_;
    QStringList statuses_;
    QStringList alerts_;

    QString path(const QString& name) const { return home_->filePath(name); }
    QString cache() const { return path(QStringLiteral("cache")); }
    QList<double> widths() const {
        QList<double> result;
        for (const auto& page : doc_->pages()) {
            result << page->pixelSize().width();
        }
        return result;
    }

private Q_SLOTS:
    void init() {
        home_.emplace();
        QVERIFY(home_->isValid());
        doc_ = std::make_unique<PageDocument>();
        importer_ = std::make_unique<PageImporter>(*doc_, [this] {
            QDir().mkpath(cache());
            return QUrl::fromLocalFile(cache());
        });
        statuses_.clear();
        alerts_.clear();
        connect(importer_.get(), &PageImporter::statusReported, this,
                [this](const QString& text) { statuses_ << text; });
        connect(importer_.get(), &PageImporter::failed, this,
                [this](const QString& text) { alerts_ << text; });
    }
    void cleanup() {
        importer_.reset();
        doc_.reset();
        home_.reset();
    }

    void filesArriveInOrderOffTheGuiThread() {
        QVERIFY(doc_->add(makePages(*home_, 0, 1), true)); // one page before
        // A folder gives only its own image files, in natural order (p2
        // before p10); a file given by name is read whatever it is.
        QVERIFY(QDir().mkpath(path("drop/inner")));
        QVERIFY(writeImage(path("drop/p1.png"), 10).isValid() &&
                writeImage(path("drop/p2.PNG"), 11).isValid() &&
                writeImage(path("drop/p10.bmp"), 12).isValid() &&
                writeImage(path("drop/inner/p3.png"), 50).isValid() &&
                writeFile(path("drop/notes.txt"), "not an image").isValid());
        const QUrl broken = writeFile(path("in/broken.png"), "not an image");
        const QUrl single = writeImage(path("in/single.png"), 13);
        importer_->addFiles({QUrl::fromLocalFile(path("drop")), broken,
                             QUrl(QStringLiteral("https://example.org/x.png")), single},
                            200);
        QVERIFY(importer_->running());
        QCOMPARE(statuses_, QStringList{"Adding image file 1 of 5..."});
        // More files while it runs join the end.
        importer_->addFiles({QUrl::fromLocalFile(path("in/0.png"))}, 200);
        QCOMPARE(statuses_.last(), QStringLiteral("Adding image file 1 of 6..."));
        QTRY_VERIFY_WITH_TIMEOUT(!importer_->running(), 60000);

        QCOMPARE(widths(), (QList<double>{30, 10, 11, 12, 13, 30}));
        QCOMPARE(doc_->selectedID(), doc_->pages().last()->id()); // selected at the end
        QCOMPARE(statuses_.last(), QStringLiteral("6 page(s) ready."));
        QVERIFY(statuses_.contains(QStringLiteral("Adding image file 4 of 6...")));
        QCOMPARE(alerts_, QStringList{"Could not read the image at broken.png."});
        QVERIFY(!doc_->canUndo());                    // adding is not a step
        QVERIFY(QFile::exists(single.toLocalFile())); // sources stay
        QCOMPARE(QDir(cache()).entryList(QDir::Files).size(), 6);

        // Nothing local given: nothing happens.
        statuses_.clear();
        importer_->addFiles({QUrl(QStringLiteral("https://example.org/x.png"))}, 200);
        QVERIFY(!importer_->running());
        QVERIFY(statuses_.isEmpty());
    }

    void everyFileNotAddedIsReportedWithItsReason() {
        // As a user meets it: files chosen (or named on the command line)
        // that fail in different ways, among good ones.
        const QUrl broken = writeFile(path("in/broken.png"), "not an image");
        const QUrl good = writeImage(path("in/good.png"), 11);
        const QUrl missing = QUrl::fromLocalFile(path("in/missing.png"));
        QList<QUrl> given{broken, good, missing};
        QStringList expected{"broken.png: not an image or damaged", "missing.png: not found"};
        // Permissions do not hold for root.
        if (::geteuid() != 0) {
            const QUrl locked = writeImage(path("in/locked.png"), 10);
            QVERIFY(QFile::setPermissions(locked.toLocalFile(), QFile::WriteOwner));
            QVERIFY(QDir().mkpath(path("closed")));
            QVERIFY(QFile::setPermissions(path("closed"), QFile::WriteOwner));
            given << locked << QUrl::fromLocalFile(path("closed"));
            expected << "locked.png: no permission"
                     << "closed: no permission";
        }
        importer_->addFiles(given, 100);
        QTRY_VERIFY_WITH_TIMEOUT(!importer_->running(), 60000);
        QCOMPARE(widths(), QList<double>{11});
        QCOMPARE(statuses_.last(), QStringLiteral("1 page(s) ready."));
        QCOMPARE(alerts_, QStringList{QString::number(expected.size()) +
                                      " file(s) could not be added:\n" + expected.join(u'\n')});
        QFile::setPermissions(path("closed"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void pdfsGiveTheirPagesInOrderAfterThoseThere() {
        QVERIFY(doc_->add(makePages(*home_, 0, 1), true));
        QVERIFY(QDir().mkpath(path("drop")));
        QVERIFY(QFile::copy(pdfFixture("img2pdf-rotate90.pdf").toLocalFile(), path("drop/t.pdf")));
        importer_->addFiles({pdfFixture("qpdf-merged.pdf"), pdfFixture("qpdf-encrypted.pdf"),
                             QUrl::fromLocalFile(path("drop")), pdfFixture("damaged-junk.pdf"),
                             pdfFixture("qpdf-empty.pdf")},
                            300);
        QTRY_VERIFY_WITH_TIMEOUT(!importer_->running(), 60000);
        // The three pages of the merged file (the second at 200 dpi, the
        // third turned), then the PDF in the folder.
        QCOMPARE(doc_->size(), 5);
        QCOMPARE(doc_->pages()[2]->dpi(), 200.0);
        QCOMPARE(doc_->pages()[3]->cacheTurns(), 1);
        QCOMPARE(doc_->pages()[4]->cacheTurns(), 1);
        QCOMPARE(doc_->selectedID(), doc_->pages().last()->id());
        QCOMPARE(statuses_.filter("Adding page"),
                 QStringList({"Adding page 1 of 3...", "Adding page 2 of 3...",
                              "Adding page 3 of 3...", "Adding page 1 of 1..."}));
        QCOMPARE(statuses_.last(), QStringLiteral("5 page(s) ready."));
        QCOMPARE(alerts_, QStringList{"3 file(s) could not be added:\n"
                                      "qpdf-encrypted.pdf: protected by a password\n"
                                      "damaged-junk.pdf: not a PDF or damaged\n"
                                      "qpdf-empty.pdf: no pages"});
        // One failure alone is told in its own words.
        importer_->addFiles({pdfFixture("qpdf-encrypted.pdf")}, 300);
        QTRY_VERIFY_WITH_TIMEOUT(!importer_->running(), 60000);
        QCOMPARE(alerts_.last(),
                 QStringLiteral("The PDF qpdf-encrypted.pdf is protected by a password."));
    }

    void alertTextsForOneAndForMany() {
        // Past ten files the alert is cut short. (One failure alone, in its
        // own words, is above.)
        QList<ImportFailure> many;
        for (int i = 0; i < 12; ++i) {
            const QUrl url = QUrl::fromLocalFile(path(QStringLiteral("gone%1.png").arg(i)));
            many << ImportFailure::of(url, {ImageFile::Failure::unreadable(url)});
        }
        const QStringList lines = ImportFailure::alertText(many).split(u'\n');
        QCOMPARE(lines.size(), 1 + 10 + 1);
        QCOMPARE(lines[0], QStringLiteral("12 file(s) could not be added:"));
        QCOMPARE(lines[1], QStringLiteral("gone0.png: not found"));
        QCOMPARE(lines.last(), QStringLiteral("and 2 more."));
        // A cache folder that cannot be made says so in its own words.
        const FolderFailure folder{QUrl::fromLocalFile(path("cache")), QStringLiteral("why")};
        QCOMPARE(ImportFailure::of(many[0].file, {folder}).reason, folder.description());
    }

    void aScansBatchAndRestoredPages() {
        QList<std::pair<int, PageImporter::Report>> finished;
        connect(importer_.get(), &PageImporter::batchFinished, this,
                [&](int batch, const PageImporter::Report& report) {
                    finished.append({batch, report});
                });
        QSignalSpy selection(doc_.get(), &PageDocument::selectionChanged);
        const int batch = importer_->openBatch();
        const QUrl first = writeImage(path("in/page-1.png"), 14);
        importer_->add(batch, std::make_unique<ThreadCheckingSource>(first, 300, true));
        importer_->add(batch, std::make_unique<ImageFileSource>(
                                  writeFile(path("in/page-2.png"), "torn"), 300, true));
        QTRY_COMPARE_WITH_TIMEOUT(doc_->size(), 1, 60000);
        QVERIFY(ThreadCheckingSource::offGuiThread);
        QCOMPARE(selection.count(), 1);               // each page is selected as it enters
        QVERIFY(!QFile::exists(first.toLocalFile())); // the scanner's file is gone
        QTRY_VERIFY(!importer_->running());
        QVERIFY(finished.isEmpty()); // not closed yet
        importer_->close(batch);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished[0].first, batch);
        QCOMPARE(finished[0].second.added, 1);
        QCOMPARE(finished[0].second.failures.size(), 1);
        QVERIFY(statuses_.isEmpty() && alerts_.isEmpty()); // the scan reports

        // Restored pages are in at once.
        importer_->addReady(makePages(*home_, 5, 2));
        QCOMPARE(doc_->size(), 3);
        QCOMPARE(doc_->selectedID(), doc_->pages().last()->id());
        QCOMPARE(statuses_, QStringList{"3 page(s) ready."});
    }

    void cancellingDropsWhatIsLeft() {
        QList<QUrl> files;
        for (int i = 0; i < 20; ++i) {
            files << writeImage(path(QStringLiteral("in/%1.png").arg(i)), 10 + i);
        }
        const int scan = importer_->openBatch();
        importer_->addFiles(files, 300);
        importer_->add(scan, std::make_unique<ImageFileSource>(
                                 writeImage(path("in/scanned.png"), 99), 300, true));
        importer_->close(scan);
        importer_->cancelFiles();
        importer_->wait();
        QTRY_VERIFY(!importer_->running());
        // The scan's page still came; of the files, none or the one that was
        // under way when cancelled, whose page is discarded.
        QCOMPARE(widths(), QList<double>{99});
        QCOMPARE(QDir(cache()).entryList(QDir::Files).size(), 1);
        QVERIFY(alerts_.isEmpty());

        // It can be used again afterwards; gone while working, the page in
        // progress is discarded.
        importer_->addFiles(files.mid(0, 2), 300);
        QTRY_VERIFY(!importer_->running());
        QCOMPARE(doc_->size(), 3);
        importer_->addFiles(files, 300);
        importer_.reset();
        QCoreApplication::processEvents();
        QTRY_COMPARE(QDir(cache()).entryList(QDir::Files).size(), doc_->size());
    }
};

QTEST_GUILESS_MAIN(tst_PageImporter)
#include "tst_PageImporter.moc"
