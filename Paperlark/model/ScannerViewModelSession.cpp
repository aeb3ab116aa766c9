#include "model/ScannerViewModel.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

// Keeping the session recoverable: the manifest follows the page list, the
// pages saved are remembered, and sessions of earlier runs that ended without
// cleaning up are offered back.

namespace {

using Sessions = std::vector<SessionRecovery::Session>;

} // namespace

void ScannerViewModel::followPagesForRecovery() {
    // Both: operations on the list announce themselves through the list,
    // changes inside a page (a rotation) through notifyChanged(). Written in
    // the background: a durable write can take a good part of a second.
    const auto record = [this] { session_.recordPagesInBackground(pages_.pages()); };
    connect(&pages_, &PageList::changed, this, record);
    connect(this, &ScannerViewModel::pagesChanged, this, record);
}

int ScannerViewModel::unsavedPageCount() const {
    return int(
        std::count_if(pages_.pages().cbegin(), pages_.pages().cend(), [this](const auto& page) {
            const auto saved = savedRevisions_.constFind(page->id());
            return saved == savedRevisions_.cend() || *saved != page->revision();
        }));
}

void ScannerViewModel::rememberSavedPages() {
    for (const auto& page : pages_.pages()) {
        savedRevisions_.insert(page->id(), page->revision());
    }
}

void ScannerViewModel::offerRecovery() {
    if (recovering_) {
        return;
    }
    recovering_ = true;
    // Checking pages means decoding them: in the background, so the window
    // stays responsive. The watcher belongs to the model.
    auto* watcher = new QFutureWatcher<std::shared_ptr<Sessions>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        watcher->deleteLater();
        const std::shared_ptr<Sessions> sessions = watcher->result();
        offerSessions(*sessions);
        recovering_ = false;
        Q_EMIT recoveryFinished();
    });
    watcher->setFuture(QtConcurrent::run([root = session_.cacheRoot(), own = session_.id()] {
        return std::make_shared<Sessions>(SessionRecovery::find(root, own));
    }));
}

void ScannerViewModel::offerSessions(std::vector<SessionRecovery::Session>& sessions) {
    for (SessionRecovery::Session& session : sessions) {
        if (!desktop_->confirmRestorePages(SessionRecovery::question(session))) {
            SessionRecovery::discard(session, session_.cacheRoot());
            continue;
        }
        session_.create();
        const Pages restored = SessionRecovery::restore(session, session_, pages_.pages());
        if (restored.isEmpty()) {
            continue; // nothing moved: the session stays for another time
        }
        if (pages_.append(restored)) {
            publish(&ScannerViewModel::pagesChanged);
            publish(&ScannerViewModel::selectedPageIDChanged);
        }
        SessionRecovery::discard(session, session_.cacheRoot());
        setStatus(pagesReadyText());
    }
}
