#include "model/SessionKeeper.h"

#include "model/PageImporter.h"

SessionKeeper::SessionKeeper(PageDocument& document, PageImporter& importer,
                             DesktopServices& desktop, QObject* parent)
    : QObject(parent), document_(document), importer_(importer), desktop_(desktop) {
    folder_.create();
    // Both: operations on the list announce themselves through the list,
    // changes inside a page (a rotation) through pagesChanged(). Written in
    // the background: a durable write can take a good part of a second.
    const auto record = [this] { folder_.recordPagesInBackground(document_.pages()); };
    connect(&document_.list(), &PageList::changed, this, record);
    connect(&document_, &PageDocument::pagesChanged, this, record);
}

SessionKeeper::~SessionKeeper() = default;

const QUrl& SessionKeeper::folderForPages() const {
    folder_.create();
    return folder_.url();
}

void SessionKeeper::offerRecovery() {
    if (recovering_) {
        return;
    }
    recovering_ = true;
    // Checking pages means decoding them: in the background, so the window
    // stays responsive.
    finding_ = Job<Sessions>::run(
        this,
        [root = folder_.cacheRoot(), own = folder_.id()](const JobContext<>&) {
            return SessionRecovery::find(root, own);
        },
        [this](Sessions sessions) {
            offer(sessions);
            recovering_ = false;
            Q_EMIT recoveryFinished();
        });
}

void SessionKeeper::offer(Sessions& sessions) {
    for (SessionRecovery::Session& session : sessions) {
        if (!desktop_.confirmRestorePages(SessionRecovery::question(session))) {
            SessionRecovery::discard(session, folder_.cacheRoot());
            continue;
        }
        folderForPages();
        const PageDocument::Pages restored =
            SessionRecovery::restore(session, folder_, document_.pages());
        if (restored.isEmpty()) {
            continue; // nothing moved: the session stays for another time
        }
        importer_.addReady(restored);
        SessionRecovery::discard(session, folder_.cacheRoot());
    }
}

void SessionKeeper::end(bool keepUnsavedPages) {
    if (keepUnsavedPages && document_.unsavedPageCount() > 0) {
        folder_.recordPages(document_.pages());
        folder_.release();
        return;
    }
    document_.discardAll();
    folder_.remove();
}
