#pragma once

#include "scanning/PageFileWriter.h"
#include "scanning/ScannerDevice.h"

#include <QList>

#include <memory>
#include <optional>

// A device that answers as its script says, for testing what drives
// scanners. Every answer arrives later through the event loop, as a real
// device's would. Page files are real (small) PNG files.
class FakeScannerDevice : public ScannerDevice {
    Q_OBJECT
public:
    // One thing the device does during a scan, in order.
    struct Step {
        enum class Action {
            // Writes a page file and reports it.
            page,
            // Writes a file that is no image and reports it as a page.
            brokenPage,
            // Reports the end of the scan, with the error if one is given.
            complete,
            // Reports a device error.
            fail,
            // Reports that the device went away.
            remove,
            // Waits until resume() is called.
            hold,
        };
        Action action;
        std::optional<QString> error;

        static Step page() { return {Action::page, std::nullopt}; }
        static Step brokenPage() { return {Action::brokenPage, std::nullopt}; }
        static Step complete(std::optional<QString> error = std::nullopt) {
            return {Action::complete, std::move(error)};
        }
        static Step fail(QString error) { return {Action::fail, std::move(error)}; }
        static Step remove() { return {Action::remove, std::nullopt}; }
        static Step hold() { return {Action::hold, std::nullopt}; }
    };

    FakeScannerDevice(std::optional<QString> id, std::optional<QString> name,
                      Kind kind = Kind::scanner);

    static std::shared_ptr<FakeScannerDevice> scanner(const QString& id, const QString& name) {
        return std::make_shared<FakeScannerDevice>(id, name);
    }

    // ---- Script ----
    // The units offered once a session is open; the first one starts selected.
    // By default a flatbed (A4-sized glass, 100 to 600 dpi) and a one-sided feeder.
    void setUnits(QList<ScannerUnit> units);
    void setOpenError(std::optional<QString> error) { openError_ = std::move(error); }
    void setSelectError(std::optional<QString> error) { selectError_ = std::move(error); }
    // What a scan does; by default one page, then the end.
    void setScanSteps(QList<Step> steps) { steps_ = std::move(steps); }
    // Continues a scan held by a hold step.
    void resume();
    // Writes and reports a page at once, whatever the scan's state (broken:
    // a file that is no image).
    void writePage(bool broken = false);

    // ---- What was asked ----
    int openRequests() const { return openRequests_; }
    int selectRequests() const { return selectRequests_; }
    // Every configuration passed to requestScan, in order.
    const QList<ScanConfiguration>& scans() const { return scans_; }

    // ---- ScannerDevice ----
    std::optional<QString> persistentId() const override { return id_; }
    std::optional<QString> name() const override { return name_; }
    Kind kind() const override { return kind_; }
    bool hasOpenSession() const override { return sessionOpen_; }
    void requestOpenSession() override;
    QList<ScannerUnit::Type> availableUnitTypes() const override;
    std::optional<ScannerUnit> selectedUnit() const override;
    void requestSelectUnit(ScannerUnit::Type type) override;
    void requestScan(const ScanConfiguration& configuration) override;
    // Ends a running scan at once (its remaining steps are dropped) with
    // scanCompleted("The scan was cancelled.").
    void requestCancel() override;

    int cancelRequests() const { return cancelRequests_; }

private:
    void runSteps();

    std::optional<QString> id_;
    std::optional<QString> name_;
    Kind kind_;
    QList<ScannerUnit> units_;
    std::optional<ScannerUnit::Type> selected_;
    std::optional<QString> openError_;
    std::optional<QString> selectError_;
    QList<Step> steps_;
    bool sessionOpen_ = false;

    int openRequests_ = 0;
    int selectRequests_ = 0;
    int cancelRequests_ = 0;
    bool scanRunning_ = false;
    QList<ScanConfiguration> scans_;
    QList<Step> remaining_;
    int pagesWritten_ = 0;
    // One per scan, as a real scan job has: it never hands out a name twice
    // within the scan, even once earlier page files have been taken away.
    std::optional<PageFileWriter> writer_;
};
