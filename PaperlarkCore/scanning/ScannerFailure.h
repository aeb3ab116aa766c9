#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <utility>

// Why a scan did not deliver its pages. Every case has the sentence the user
// sees, description().
class ScannerFailure {
public:
    enum class Kind {
        notReady,
        unsupportedSource,
        deviceError,
        noDevice,
        nothingScanned,
        // The destination folder could not be created; carries the file
        // system's own explanation.
        folderNotCreated,
        // The user stopped the scan.
        cancelled,
    };

    // "A scan is already running."
    static ScannerFailure notReady();
    // "This scanner does not have a document feeder. Choose a different
    // source." or the same with "a flatbed".
    static ScannerFailure unsupportedSource(bool feederWanted);
    static ScannerFailure deviceError(const QString& message);
    static ScannerFailure noDevice();
    static ScannerFailure nothingScanned();
    static ScannerFailure folderNotCreated(const QString& message);
    // "The scan was cancelled."
    static ScannerFailure cancelled();

    Kind kind() const { return kind_; }
    // The case's message text; empty for the cases without one.
    const QString& message() const { return message_; }
    QString description() const;

    // Page files the scanner had already delivered when the scan failed, in
    // arrival order. They are complete pages: the caller keeps them.
    const QList<QUrl>& deliveredPages() const { return deliveredPages_; }
    ScannerFailure withDeliveredPages(QList<QUrl> pages) const {
        ScannerFailure copy = *this;
        copy.deliveredPages_ = std::move(pages);
        return copy;
    }

    bool operator==(const ScannerFailure&) const = default;

private:
    ScannerFailure(Kind kind, QString message) : kind_(kind), message_(std::move(message)) {}

    Kind kind_;
    QString message_;
    QList<QUrl> deliveredPages_;
};
