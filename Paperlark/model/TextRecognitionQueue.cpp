#include "model/TextRecognitionQueue.h"

#include "pages/ImageFile.h"

#include <QSet>
#include <QThread>

#include <algorithm>

TextRecognitionQueue::TextRecognitionQueue(const PageList& pages, QObject* parent)
    : QObject(parent), pages_(pages) {
    pool_.setMaxThreadCount(std::max(1, QThread::idealThreadCount() - 1));
    pool_.setThreadPriority(QThread::LowPriority);
    connect(&pages_, &PageList::changed, this, &TextRecognitionQueue::refresh);
}

TextRecognitionQueue::~TextRecognitionQueue() {
    cancelAll();
    pool_.clear();
    pool_.waitForDone();
}

void TextRecognitionQueue::cancelAll() {
    for (Entry& entry : entries_) {
        entry.job.cancel();
    }
    entries_.clear();
}

void TextRecognitionQueue::configure(bool enabled, const QString& language) {
    if (enabled == enabled_ && language == language_) {
        return;
    }
    cancelAll();
    enabled_ = enabled;
    language_ = language;
    refresh();
    Q_EMIT progressed();
}

const TextRecognitionQueue::Entry* TextRecognitionQueue::current(const ScannedPage& page) const {
    const auto found = entries_.constFind(page.id());
    return found != entries_.constEnd() && found->turns == page.quarterTurns() ? &*found : nullptr;
}

void TextRecognitionQueue::refresh() {
    if (!enabled_) {
        return;
    }
    QSet<QUuid> listed;
    for (const auto& page : pages_.pages()) {
        listed.insert(page->id());
        if (!current(*page)) {
            start(*page);
        }
    }
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (!listed.contains(it.key())) {
            it->job.cancel();
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
}

void TextRecognitionQueue::start(const ScannedPage& page) {
    if (const auto old = entries_.find(page.id()); old != entries_.end()) {
        old->job.cancel();
    }
    Entry entry;
    entry.turns = page.quarterTurns();
    // The job works on copies: the page object belongs to the GUI thread.
    entry.job = Job<Outcome>::run(
        this,
        [url = page.cacheURL(), dpi = page.dpi(), cacheTurns = page.cacheTurns(),
         language = language_](const JobContext<>& context) {
            Outcome outcome;
            auto image = ScannedPage::loadImage(url, dpi, cacheTurns);
            if (!image) {
                outcome.failure = TextRecognizer::Failure::failed();
                return outcome;
            }
            auto layer =
                TextRecognizer::recognise(image.value(), dpi, language, &context.cancelFlag());
            if (layer) {
                outcome.layer = std::move(layer).value();
            } else {
                outcome.failure = layer.failure();
            }
            return outcome;
        },
        [this, id = page.id()](Outcome outcome) { finished(id, std::move(outcome)); }, {}, &pool_);
    entries_.insert(page.id(), std::move(entry));
}

void TextRecognitionQueue::finished(const QUuid& id, Outcome outcome) {
    const auto found = entries_.find(id);
    if (found == entries_.end()) {
        return;
    }
    found->done = true;
    found->outcome = std::move(outcome);
    Q_EMIT progressed();
}

qsizetype TextRecognitionQueue::pendingCount(const Pages& pages) const {
    if (!enabled_) {
        return 0;
    }
    return std::count_if(pages.begin(), pages.end(), [this](const auto& page) {
        const Entry* entry = current(*page);
        return !entry || !entry->done;
    });
}

DocumentSaver::TextLayers TextRecognitionQueue::textLayers(const Pages& pages) const {
    DocumentSaver::TextLayers layers;
    for (const auto& page : pages) {
        const Entry* entry = enabled_ ? current(*page) : nullptr;
        layers.append(entry && entry->done ? entry->outcome.layer : std::nullopt);
    }
    return layers;
}

qsizetype TextRecognitionQueue::failedCount(const Pages& pages) const {
    if (!enabled_) {
        return 0;
    }
    return std::count_if(pages.begin(), pages.end(), [this](const auto& page) {
        const Entry* entry = current(*page);
        return entry && entry->done && entry->outcome.failure;
    });
}

std::optional<QString> TextRecognitionQueue::firstFailure(const Pages& pages) const {
    for (const auto& page : pages) {
        const Entry* entry = enabled_ ? current(*page) : nullptr;
        if (entry && entry->done && entry->outcome.failure) {
            return entry->outcome.failure->description();
        }
    }
    return std::nullopt;
}
