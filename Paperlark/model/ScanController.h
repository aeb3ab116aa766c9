#pragma once

#include "model/Job.h"
#include "model/PageImporter.h"
#include "model/ScanProcessing.h"
#include "model/SettingsController.h"
#include "scanning/ScannerBrowser.h"
#include "scanning/ScannerDeviceInfo.h"
#include "scanning/ScannerService.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

// The scanners and the scans: the scanner list, the selected scanner (and
// the remembered one until the first complete listing), Scan, Cancel scan,
// and what the status line says about them. Used on the GUI thread only.
//
// Every scanner list the service publishes arrives asynchronously (the
// current one first, right after construction): devices takes it; the
// selected scanner stays if it is still listed, otherwise the first one (or
// none) is selected; status "N scanner(s) found. Ready." or "No scanner found
// yet. Check it is switched on and connected.". Until the first complete
// listing the lists may still lack scanners: the remembered scanner is
// chosen when it turns up, an empty list takes nothing away, and the status
// stays as it was.
class ScanController : public QObject {
    Q_OBJECT

public:
    // Finds scanners through `browser`; scanned files become pages through
    // `importer`, into the folder `folder` returns (made again if need be).
    // Settings, document and importer must outlive the controller. Starts
    // browsing.
    ScanController(const SettingsController& settings, const PageDocument& document,
                   PageImporter& importer, std::function<QUrl()> folder,
                   std::unique_ptr<ScannerBrowser> browser, QObject* parent = nullptr);
    ~ScanController() override;

    ScanController(const ScanController&) = delete;
    ScanController& operator=(const ScanController&) = delete;

    ScannerService& scanner() const { return *scanner_; }
    const QList<ScannerDeviceInfo>& devices() const { return devices_; }
    const QString& selectedDeviceID() const { return selectedDeviceID_; }
    // The user's choice: it stands, and the remembered scanner is forgotten.
    void setSelectedDeviceID(QString id);
    // The scanner to store as the settings' lastDeviceId.
    QString deviceToRemember() const;

    // From scan() until its outcome is reported, and after a refused scan()
    // until its refusal is (see ScannerViewModel::scan).
    bool busy() const { return busy_; }
    // From the moment a scan is accepted until its last page is in the list
    // and its outcome is reported.
    bool scanning() const { return scan_ != nullptr; }

    // Browses afresh; status "Looking for scanners..." until the next list.
    void refresh();
    // See ScannerViewModel::scan() and cancelScan().
    void scan();
    void cancel();

Q_SIGNALS:
    void devicesChanged();
    void selectedDeviceIDChanged();
    void busyChanged();
    void scanningChanged();
    void statusReported(const QString& status);
    void failed(const QString& message);

private:
    // One scan's pages on their way into the list.
    struct Run {
        int batch = 0;
        int fallbackDpi = 0;
        ScanProcessing processing;
        // Files given to the importer, so that none goes twice.
        QSet<QUrl> started;
        // The service's outcome, once it has come.
        std::optional<ScannerService::ScanResult> result;
    };

    void deliverDevices(const QList<ScannerDeviceInfo>& devices);
    void chooseDevice(QString id);
    void setBusy(bool busy);
    void importFile(Run& run, const QUrl& file);
    void scanFinished(const std::shared_ptr<Run>& run, const ScannerService::ScanResult& result);
    void pagesIn(int batch, const PageImporter::Report& report);
    void report(const ScannerService::ScanResult& result, const PageImporter::Report& pages);

    const SettingsController& settings_;
    const PageDocument& document_;
    PageImporter& importer_;
    std::function<QUrl()> folder_;
    QList<ScannerDeviceInfo> devices_;
    QString selectedDeviceID_;
    // lastDeviceId until the first complete listing, so that the remembered
    // scanner is chosen when it turns up; nothing after it, or once the user
    // chooses a scanner.
    std::optional<QString> rememberedDeviceID_;
    bool busy_ = false;
    // The accepted scan in progress, until it is reported.
    std::shared_ptr<Run> scan_;
    // Scans whose pages are still being made, by batch.
    QList<std::shared_ptr<Run>> runs_;
    // Declared last so that it goes first: no scanner callback can reach a
    // half-destroyed controller.
    std::unique_ptr<ScannerService> scanner_;
};
