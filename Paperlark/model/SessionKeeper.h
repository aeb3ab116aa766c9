#pragma once

#include "model/DesktopServices.h"
#include "model/Job.h"
#include "model/PageDocument.h"
#include "model/SessionRecovery.h"
#include "pages/SessionFolder.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <vector>

class PageImporter;

// This run's session folder (~/.cache/Paperlark/<UUID>): making it, keeping
// its manifest in step with the page list, offering back the sessions of
// earlier runs that ended without cleaning up, and the end of the session.
// Used on the GUI thread only.
class SessionKeeper : public QObject {
    Q_OBJECT

public:
    // Creates the folder (a failure is left for whoever writes into it to
    // report) and follows `document`, which must outlive the keeper, as do
    // `importer` and `desktop`.
    SessionKeeper(PageDocument& document, PageImporter& importer, DesktopServices& desktop,
                  QObject* parent = nullptr);
    ~SessionKeeper() override;

    SessionKeeper(const SessionKeeper&) = delete;
    SessionKeeper& operator=(const SessionKeeper&) = delete;

    // The folder's address; fixed for the life of the keeper.
    const QUrl& url() const { return folder_.url(); }
    // The folder, made again (private to the user) when it has gone, as it
    // has after end(): where page files and scanner output go.
    const QUrl& folderForPages() const;
    // Waits until the manifest is on disk as the list is now; false when
    // the last write failed.
    bool waitForRecords() const { return folder_.waitForRecords(); }

    // Looks for sessions of earlier runs (in the background), then asks
    // about each, newest first: "Paperlark closed before these pages were
    // saved. Restore N page(s) from <date>?". Restore gives the importer
    // its pages, their files moved into this run's folder; Discard deletes
    // that session's folder. recoveryFinished() follows. A call while one
    // runs does nothing.
    void offerRecovery();

    // The end of the session. With keepUnsavedPages, when pages are unsaved,
    // the folder stays with its manifest for the next start to offer back
    // (its lock let go). Otherwise every page's cache file goes, those the
    // history held too, and the folder with them.
    void end(bool keepUnsavedPages);

Q_SIGNALS:
    void recoveryFinished();

private:
    using Sessions = std::vector<SessionRecovery::Session>;
    void offer(Sessions& sessions);

    PageDocument& document_;
    PageImporter& importer_;
    DesktopServices& desktop_;
    SessionFolder folder_;
    Job<Sessions> finding_;
    // From offerRecovery() until its last question is answered.
    bool recovering_ = false;
};
