#pragma once

#include "scanning/ScanConfiguration.h"
#include "scanning/ScannerUnit.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

// One device found by a ScannerBrowser, as the scanner service drives it.
// Requests return at once; their outcome arrives later as a signal on the
// thread the device lives on (the GUI thread). Error texts are one English
// sentence each, ready to be shown.
class ScannerDevice : public QObject {
    Q_OBJECT
public:
    enum class Kind { scanner, camera };

    using QObject::QObject;

    // A stable identifier, when the device has one.
    virtual std::optional<QString> persistentId() const = 0;
    // The name to show, when the device has one.
    virtual std::optional<QString> name() const = 0;
    virtual Kind kind() const = 0;

    // Whether a session is open, so that a scan can go straight to
    // selecting a unit.
    virtual bool hasOpenSession() const = 0;
    // Opens a session; answered by sessionOpened.
    virtual void requestOpenSession() = 0;

    // The units the device offers; known once a session is open.
    virtual QList<ScannerUnit::Type> availableUnitTypes() const = 0;
    // The unit scans currently use, if any.
    virtual std::optional<ScannerUnit> selectedUnit() const = 0;
    // Makes another unit the selected one; answered by unitSelected.
    virtual void requestSelectUnit(ScannerUnit::Type type) = 0;

    // Scans with the selected unit. Every page file written is reported by
    // fileWritten, then the end by scanCompleted, or the scan stops with
    // errorEncountered or removed.
    virtual void requestScan(const ScanConfiguration& configuration) = 0;
    // Stops the scan in progress after the page being read; the pages
    // already reported stay. The scan then ends with scanCompleted (or, if
    // the device stops answering, errorEncountered or removed).
    virtual void requestCancel() = 0;

Q_SIGNALS:
    void sessionOpened(const std::optional<QString>& error);
    void unitSelected(const std::optional<QString>& error);
    void fileWritten(const QUrl& file);
    void scanCompleted(const std::optional<QString>& error);
    void errorEncountered(const QString& error);
    // The device went away (unplugged, switched off, stopped answering).
    void removed();
};
