// Importing files on a worker thread: order, failures, folders, cancelling.

#include "model/PageImport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QUrl writeImage(const QString& path, int width) {
    QImage image(width, 20, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return image.save(path, "png") ? QUrl::fromLocalFile(path) : QUrl();
}

} // namespace

class tst_PageImport : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void importsInOrderOffTheGuiThread();
    void foldersGiveTheirImagesInNaturalOrder();
    void cancellingDropsWhatIsLeft();
};

void tst_PageImport::importsInOrderOffTheGuiThread() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QUrl cache = QUrl::fromLocalFile(dir.filePath("cache"));
    PageImport import(cache);
    QList<PageImport::Outcome> outcomes;
    connect(&import, &PageImport::fileDone, this, [&](const PageImport::Outcome& outcome) {
        QCOMPARE(QThread::currentThread(), thread()); // delivered on the GUI thread
        outcomes << outcome;
    });
    QSignalSpy finished(&import, &PageImport::finished);

    QFile unreadable(dir.filePath("locked.png"));
    QVERIFY(unreadable.open(QIODevice::WriteOnly));
    unreadable.write("not an image");
    unreadable.close();
    QList<QUrl> files{writeImage(dir.filePath("a.png"), 11),
                      QUrl::fromLocalFile(unreadable.fileName()),
                      writeImage(dir.filePath("b.png"), 12)};
    import.add(files, 200);
    QVERIFY(import.running());
    QCOMPARE(import.total(), 3);
    // More files while it runs join the end of the queue.
    import.add({writeImage(dir.filePath("c.png"), 13)}, 300);
    QCOMPARE(import.total(), 4);

    QVERIFY(finished.wait(60000));
    QCOMPARE(finished.size(), 1);
    QVERIFY(!import.running());
    QCOMPARE(import.total(), 0);
    QCOMPARE(outcomes.size(), 4);
    QCOMPARE(outcomes[0].page->pixelSize().width(), 11.0);
    QVERIFY(!outcomes[1].page);
    QCOMPARE(outcomes[1].failure, QStringLiteral("Could not read the image at locked.png."));
    QCOMPARE(outcomes[2].page->pixelSize().width(), 12.0);
    QCOMPARE(outcomes[3].page->pixelSize().width(), 13.0);
    QCOMPARE(outcomes[3].page->dpi(), 96.0); // as Qt's writer states it
    QVERIFY(outcomes[3].page->inkShare());         // measured on the way
    QVERIFY(QFile::exists(dir.filePath("a.png"))); // sources stay
    QCOMPARE(QDir(cache.toLocalFile()).entryList(QDir::Files).size(), 3);
}

void tst_PageImport::foldersGiveTheirImagesInNaturalOrder() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QDir(dir.path()).mkpath("scans/inner");
    for (const char* name :
         {"page10.png", "page2.JPG", "page1.tiff", "notes.txt", "scan.bmp", "inner/deeper.png"}) {
        QFile file(dir.filePath(QStringLiteral("scans/") + name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QUrl loose = QUrl::fromLocalFile(dir.filePath("loose.pdf"));
    const auto names = [](const QList<QUrl>& urls) {
        QStringList result;
        for (const QUrl& url : urls) {
            result << url.fileName();
        }
        return result;
    };
    const QList<QUrl> files = PageImport::expandFolders(
        {loose, QUrl::fromLocalFile(dir.filePath("scans")), QUrl("https://example.org/a.png")});
    // A file given by name is kept whatever it is (reading it decides);
    // a folder gives only its own image files.
    QCOMPARE(names(files),
             QStringList({"loose.pdf", "page1.tiff", "page2.JPG", "page10.png", "scan.bmp"}));
    QVERIFY(PageImport::expandFolders({QUrl::fromLocalFile(dir.filePath("scans/inner/"))}).size() ==
            1);
}

void tst_PageImport::cancellingDropsWhatIsLeft() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QUrl cache = QUrl::fromLocalFile(dir.filePath("cache"));
    QList<QUrl> files;
    for (int i = 0; i < 20; ++i) {
        files << writeImage(dir.filePath(QStringLiteral("%1.png").arg(i)), 10 + i);
    }
    {
        PageImport import(cache);
        int delivered = 0;
        connect(&import, &PageImport::fileDone, this, [&] { ++delivered; });
        import.add(files, 300);
        import.cancel();
        import.wait();
        QCoreApplication::processEvents();
        QTRY_VERIFY(!import.running());
        QCOMPARE(delivered, 0);
        // It can be used again afterwards.
        QSignalSpy finished(&import, &PageImport::finished);
        import.add(files.mid(0, 2), 300);
        QVERIFY(finished.wait(60000));
        QCOMPARE(delivered, 2);
        import.add(files, 300);
    } // destroyed while working: the page in progress is discarded
    QDir folder(cache.toLocalFile());
    QCOMPARE(folder.entryList(QDir::Files).size(), 2);
}

QTEST_GUILESS_MAIN(tst_PageImport)
#include "tst_PageImport.moc"
