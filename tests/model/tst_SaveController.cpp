// Saving: names that never overwrite, what is opened and cleared after a
// save, a failed save, the folder buttons, the history after a save, and a
// searchable PDF that waits for its text, read again after a turn (real
// Tesseract).

#include "../email/StandInPrograms.h"
#include "PageFixtures.h"
#include "SavingParts.h"

#include "pages/DocumentSaver.h"

#include <QDate>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QTest>

namespace {

const QString thisYear = QString::number(QDate::currentDate().year());
// Generous: recognition runs at low priority on a machine that may be busy.
constexpr int recognitionTimeout = 180000;

QList<QUrl> fileUrls(const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls << QUrl::fromLocalFile(path);
    }
    return urls;
}

QString pdfText(const QString& pdf) {
    QProcess process;
    process.start("pdftotext", {pdf, "-"});
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput()).simplified();
}

} // namespace

class tst_SaveController : public QObject {
    Q_OBJECT

    std::unique_ptr<SavingParts> p_;

    QString settingsPath() const { return AppSettings::settingsURL().toLocalFile(); }
    QJsonObject settingsOnDisk() const { return readJson(settingsPath()); }

    // Saves into ~/out with the given format and after-save settings.
    void configure(OutputFormat format, bool openAfterSave, bool clearAfterSave) {
        p_->settings.edit([&](AppSettings& s) {
            s.saveFolder = p_->out();
            s.format = format;
            s.openAfterSave = openAfterSave;
            s.clearPagesAfterSave = clearAfterSave;
            s.fileNamePattern = QStringLiteral("Pattern_{yyyy}");
        });
    }

private Q_SLOTS:
    void init() { p_ = std::make_unique<SavingParts>(); }
    void cleanup() { p_.reset(); }

    void namesNeverOverwrite() {
        SaveController& saving = p_->saving;
        QCOMPARE(saving.saveCurrentPages(), std::nullopt); // nothing to save
        QCOMPARE(p_->error, QStringLiteral("There is nothing to save yet. Scan a page first."));
        QVERIFY(!QFile::exists(settingsPath()));

        configure(OutputFormat::png, false, false);
        QVERIFY(p_->add(1));
        p_->scanner = QStringLiteral("test:0");
        // Only blanks: the pattern's name; the field keeps its blanks.
        saving.setFileName(QStringLiteral(" \t\u00A0"));
        saving.save();
        QCOMPARE(saving.lastSavedFiles(), fileUrls({p_->out("Pattern_" + thisYear + ".png")}));
        QCOMPARE(p_->status(), "Saved Pattern_" + thisYear + ".png");
        QCOMPARE(saving.fileName(), QStringLiteral(" \t\u00A0"));
        QCOMPARE(settingsOnDisk().value("lastDeviceId").toString(), QStringLiteral("test:0"));

        // A leading blank reaches the saver, which trims it; a clash with the
        // user's file takes the next free number.
        QVERIFY(!writeFile(p_->out("report.png"), "mine").isEmpty());
        saving.setFileName(QStringLiteral(" report"));
        saving.save();
        QCOMPARE(p_->status(), QStringLiteral("Saved report (2).png"));
        QCOMPARE(readFile(p_->out("report.png")), QByteArray("mine"));
        QCOMPARE(QImageReader(p_->out("report (2).png")).format(), QByteArray("png"));
        QCOMPARE(p_->document.size(), 1);
        QVERIFY(p_->desktop->openedUrls.isEmpty());
    }

    void opensTheFirstFileAndClearsWhenAsked() {
        SaveController& saving = p_->saving;
        configure(OutputFormat::jpg, true, false);
        QVERIFY(p_->add(3));
        p_->document.setSelectedID(p_->document.pages()[0]->id());
        p_->document.rotateSelection(1);
        saving.setFileName(QStringLiteral("a"));
        saving.save();
        QVERIFY(p_->document.canUndo()); // a save leaves the history alone
        const QStringList written{p_->out("a_01.jpg"), p_->out("a_02.jpg"), p_->out("a_03.jpg")};
        QCOMPARE(p_->status(), QStringLiteral("Saved a_01.jpg, a_02.jpg, a_03.jpg"));
        QCOMPARE(saving.lastSavedFiles(), fileUrls(written));
        QCOMPARE(QImageReader(written[2]).format(), QByteArray("jpeg"));
        QCOMPARE(p_->desktop->openedUrls, fileUrls({written[0]}));
        QCOMPARE(p_->document.size(), 3);
        QCOMPARE(saving.fileName(), QStringLiteral("a"));

        // Clearing after the save: one PDF, pages gone, a fresh name from the
        // pattern as it is now; undo brings the pages back and leaves the
        // saved files exactly as written.
        p_->settings.edit([](AppSettings& s) {
            s.format = OutputFormat::pdf;
            s.openAfterSave = false;
            s.clearPagesAfterSave = true;
            s.fileNamePattern = QStringLiteral("Next {yyyy}");
        });
        saving.save();
        QVERIFY(p_->document.isEmpty());
        QCOMPARE(p_->status(), QStringLiteral("Pages cleared."));
        QCOMPARE(saving.fileName(), QStringLiteral("Next ") + thisYear);
        QCOMPARE(p_->desktop->openedUrls.size(), 1);
        QCOMPARE(saving.lastSavedFiles(), fileUrls({p_->out("a.pdf")}));
        const QByteArray pdf = readFile(p_->out("a.pdf"));
        QVERIFY(pdf.startsWith("%PDF"));
        p_->document.undo();
        p_->document.undo();
        QCOMPARE(p_->document.size(), 3);
        QCOMPARE(p_->document.pages()[0]->quarterTurns(), 0);
        QCOMPARE(readFile(p_->out("a.pdf")), pdf);
        QCOMPARE(QDir(p_->out()).entryList(QDir::Files).size(), 4);
    }

    void aFailedSaveKeepsEverything() {
        SaveController& saving = p_->saving;
        configure(OutputFormat::png, false, false);
        QVERIFY(p_->add(2));
        saving.setFileName(QStringLiteral("good"));
        saving.save();
        const QList<QUrl> earlier = saving.lastSavedFiles();
        const QString savedStatus = p_->status();
        QCOMPARE(earlier.size(), 2);

        // A file stands where the save folder should be created.
        QVERIFY(!writeFile(p_->home.filePath(QStringLiteral("blocker")), "file").isEmpty());
        const QString badFolder = p_->home.filePath(QStringLiteral("blocker/scans"));
        p_->settings.edit([&](AppSettings& s) { s.saveFolder = badFolder; });
        p_->scanner = QStringLiteral("test:2");
        saving.setFileName(QStringLiteral("second"));
        saving.save();

        const auto expected =
            DocumentSaver::save(p_->document.pages(), QUrl::fromLocalFile(badFolder),
                                QStringLiteral("second"), OutputFormat::png, 85);
        QVERIFY(!expected.ok());
        QCOMPARE(p_->error, expected.failure().description());
        QCOMPARE(p_->status(), savedStatus);
        QCOMPARE(p_->document.size(), 2);
        QCOMPARE(saving.fileName(), QStringLiteral("second"));
        QCOMPARE(saving.lastSavedFiles(), earlier);
        QCOMPARE(p_->document.unsavedPageCount(), 0); // still those of the first save
        // The settings were written before the documents, so they stand.
        QCOMPARE(settingsOnDisk().value("lastDeviceId").toString(), QStringLiteral("test:2"));
    }

    void chooseAndOpenFolder() {
        SaveController& saving = p_->saving;
        const QUrl start = p_->settings.settings().saveFolderURL();
        saving.chooseFolder(); // cancelled: nothing changes, nothing is written
        QCOMPARE(p_->desktop->folderChooserStarts, QList<QUrl>{start});
        QVERIFY(!QFile::exists(settingsPath()));

        const QString chosen = p_->home.filePath(QStringLiteral("elsewhere/deeper"));
        p_->desktop->folderAnswer = QUrl::fromLocalFile(chosen);
        saving.chooseFolder();
        QCOMPARE(p_->settings.settings().saveFolder, chosen);
        QCOMPARE(settingsOnDisk().value("saveFolder").toString(), chosen);
        QVERIFY(p_->statuses.isEmpty());
        QVERIFY(!QFileInfo::exists(chosen));

        // Opening creates the folder first; one that cannot be made is still
        // handed over and nothing is reported.
        saving.openSaveFolder();
        QVERIFY(QFileInfo(chosen).isDir());
        QCOMPARE(p_->desktop->openedUrls, QList<QUrl>{QUrl::fromLocalFile(chosen)});
        QVERIFY(!writeFile(p_->home.filePath(QStringLiteral("plain")), "x").isEmpty());
        p_->settings.edit(
            [&](AppSettings& s) { s.saveFolder = p_->home.filePath(QStringLiteral("plain/sub")); });
        saving.openSaveFolder();
        QCOMPARE(p_->desktop->openedUrls.last(),
                 QUrl::fromLocalFile(p_->home.filePath(QStringLiteral("plain/sub"))));
        QCOMPARE(p_->error, std::nullopt);
        QVERIFY(p_->statuses.isEmpty());
    }

    void aSearchablePdfWaitsForItsText() {
        SaveController& saving = p_->saving;
        configure(OutputFormat::pdf, false, false);
        p_->settings.edit([](AppSettings& s) {
            s.ocrEnabled = true;
            s.ocrLanguage = "eng";
        });
        saving.setFileName({}); // the pattern's name
        QImage text = PageFixtures::textPage(QSize(1400, 700), 300, 12, false).image;
        text.setDotsPerMeterX(11811);
        text.setDotsPerMeterY(11811);
        QVERIFY(text.save(p_->home.filePath("in/text.png"), "png"));
        QVERIFY(p_->document.add(
            {ScannedPage::make(QUrl::fromLocalFile(p_->home.filePath("in/text.png")),
                               QUrl::fromLocalFile(p_->home.filePath("cache")), 300, false)
                 .value()},
            true));

        // The page is still being recognised: the save waits, busy, and the
        // window goes on.
        saving.save();
        QVERIFY(saving.busy());
        QCOMPARE(p_->status(), QStringLiteral("Recognising text: page 1 of 1..."));
        QVERIFY(saving.lastSavedFiles().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!saving.busy(), recognitionTimeout);
        QCOMPARE(p_->status(), QStringLiteral("Saved Pattern_") + thisYear + ".pdf");
        QVERIFY(pdfText(saving.lastSavedFiles().front().toLocalFile()).size() > 20);

        // Recognised already: saved at once. A page turned since is read
        // again. JPEG output is not held up.
        saving.save();
        QVERIFY(!saving.busy());
        QCOMPARE(saving.lastSavedFiles().front().fileName(), "Pattern_" + thisYear + " (2).pdf");
        p_->document.rotateSelection(2);
        saving.save();
        QVERIFY(saving.busy());
        QTRY_VERIFY_WITH_TIMEOUT(!saving.busy(), recognitionTimeout);
        p_->settings.edit([](AppSettings& s) { s.format = OutputFormat::jpg; });
        saving.save();
        QVERIFY(!saving.busy());

        // A missing language never stops a save: the page goes without text
        // and the status says so, once.
        p_->settings.edit([](AppSettings& s) {
            s.format = OutputFormat::pdf;
            s.ocrLanguage = "qqq";
        });
        saving.save();
        QTRY_VERIFY_WITH_TIMEOUT(!saving.busy(), recognitionTimeout);
        QCOMPARE(p_->status(), "Saved " + saving.lastSavedFiles().front().fileName() +
                                   ". 1 page(s) saved without text: The qqq language data for text "
                                   "recognition is not installed.");
        QVERIFY(pdfText(saving.lastSavedFiles().front().toLocalFile()).isEmpty());
        QVERIFY(!p_->error);

        // Send waits for the text too before it saves and hands the PDF to
        // the mail client (a stand-in xdg-email that accepts it).
        QVERIFY(QDir(p_->home.filePath("bin")).mkpath("."));
        QVERIFY(writeScript(p_->home.filePath("bin/xdg-email"), "#!/bin/sh\nexit 0\n"));
        const PathFront path(p_->home.filePath("bin"));
        p_->settings.edit([](AppSettings& s) { s.ocrLanguage = "eng"; });
        p_->email.send("ann@example.org", "Text", "", EmailMethod::mailClient);
        QVERIFY(saving.busy());
        QTRY_VERIFY_WITH_TIMEOUT(!saving.busy(), recognitionTimeout);
        QCOMPARE(saving.lastSavedFiles().front().fileName(), "Pattern_" + thisYear + " (5).pdf");
        QVERIFY(pdfText(saving.lastSavedFiles().front().toLocalFile()).size() > 20);
    }
};

QTEST_MAIN(tst_SaveController)
#include "tst_SaveController.moc"
