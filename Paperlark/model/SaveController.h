#pragma once

#include "model/DesktopServices.h"
#include "model/PageDocument.h"
#include "model/SettingsController.h"
#include "model/TextRecognitionQueue.h"

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

// Saving the document: the file name offered for the next save, Save, the
// wait for text recognition before a searchable PDF, the files written last,
// and the save folder ("Choose...", "Open folder"). Used on the GUI thread
// only. The texts are those of the model's save operations
// (ScannerViewModel::save() and saveCurrentPages()).
class SaveController : public QObject {
    Q_OBJECT

public:
    // Every reference must outlive the controller. `scannerToRemember`
    // gives the scanner to store as lastDeviceId before each save.
    SaveController(SettingsController& settings, PageDocument& document,
                   const TextRecognitionQueue& recognition,
                   std::function<QString()> scannerToRemember, DesktopServices& desktop,
                   QObject* parent = nullptr);

    // Base name offered for the next save: the pattern expanded for the
    // moment the controller was made, then what the user typed.
    const QString& fileName() const { return fileName_; }
    void setFileName(QString name);

    // The files of the latest successful save, in page order.
    const QList<QUrl>& lastSavedFiles() const { return lastSavedFiles_; }

    // While a save waits for text recognition.
    bool busy() const { return waiting_.has_value(); }

    std::optional<QList<QUrl>> saveCurrentPages();
    void save();
    void chooseFolder();
    void openSaveFolder();

    // When a PDF is to be saved and pages are still being recognised: busy,
    // status "Recognising text: page N of M...", and `then` runs once every
    // page has its text (or failed). False, with nothing done, when there is
    // nothing to wait for. While one wait runs another request is dropped
    // (true).
    bool whenTextIsReady(std::function<void()> then);

    // After a save or an e-mail of the pages: with clearPagesAfterSave the
    // pages are cleared and fileName renewed from the pattern.
    void clearAfterSaving();

Q_SIGNALS:
    void fileNameChanged();
    void busyChanged();
    void statusReported(const QString& status);
    void failed(const QString& message);

private:
    struct Waiting {
        QMetaObject::Connection progress;
        QMetaObject::Connection list;
        std::function<void()> then;
    };

    void finishSave();
    // While a save waits for text: the progress, or the save once done.
    void continueWaiting();
    QString freshFileName() const;

    SettingsController& settings_;
    PageDocument& document_;
    const TextRecognitionQueue& recognition_;
    std::function<QString()> scannerToRemember_;
    DesktopServices& desktop_;
    QString fileName_;
    QList<QUrl> lastSavedFiles_;
    std::optional<Waiting> waiting_;
};
