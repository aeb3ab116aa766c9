#pragma once

#include "model/Job.h"
#include "model/PageList.h"
#include "ocr/TextRecognizer.h"
#include "pages/DocumentSaver.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QUuid>

#include <memory>
#include <optional>

// The recognised text of the pages in the list, made in the background so
// that a searchable PDF is ready to save by the time the user presses Save.
//
// While enabled, every page in the list is recognised as soon as it is there,
// and again after it has been turned; pages are recognised side by side, on
// all processor cores but one (at least one), at low priority. Results are
// kept per page, for the page's turn and the language they were made for;
// they are dropped when the page leaves the list. Everything here runs on
// the GUI thread except the recognitions themselves.
class TextRecognitionQueue : public QObject {
    Q_OBJECT

public:
    using Pages = PageList::Pages;

    // Follows the list's changes; `pages` must outlive the queue.
    explicit TextRecognitionQueue(const PageList& pages, QObject* parent = nullptr);
    // Stops the recognitions under way and waits for them to end.
    ~TextRecognitionQueue() override;

    TextRecognitionQueue(const TextRecognitionQueue&) = delete;
    TextRecognitionQueue& operator=(const TextRecognitionQueue&) = delete;

    // Turns recognition on or off and sets its language. Switching it off,
    // or to another language, stops what is under way and drops the results.
    void configure(bool enabled, const QString& language);
    bool enabled() const { return enabled_; }

    // Looks at the list again: pages new to it or turned since their text
    // was made are recognised (again). The list's changes call it; call it
    // after turning a page, which the list does not see.
    void refresh();

    // Of these pages, how many are still being recognised (none while off).
    qsizetype pendingCount(const Pages& pages) const;
    // The text layers of these pages in order; a page without text so far
    // (or whose recognition failed) has none.
    DocumentSaver::TextLayers textLayers(const Pages& pages) const;
    // Of these pages, how many could not be recognised, and the description
    // of the first such failure.
    qsizetype failedCount(const Pages& pages) const;
    std::optional<QString> firstFailure(const Pages& pages) const;

Q_SIGNALS:
    // A page's recognition ended, or recognition was switched.
    void progressed();

private:
    struct Outcome {
        std::optional<TextLayer> layer;
        std::optional<TextRecognizer::Failure> failure;
    };
    struct Entry {
        int turns = 0;
        bool done = false;
        Outcome outcome;
        // The recognition whose outcome counts; the entry's replacement or
        // removal cancels it.
        Job<Outcome> job;
    };

    // The entry of a page, when it is up to date with the page's turn.
    const Entry* current(const ScannedPage& page) const;
    void start(const ScannedPage& page);
    void finished(const QUuid& id, Outcome outcome);
    void cancelAll();

    const PageList& pages_;
    bool enabled_ = false;
    QString language_ = TextRecognizer::defaultLanguage;
    QHash<QUuid, Entry> entries_;
    // Declared last: destroyed first, after the recognitions were told to
    // stop, waiting for them.
    QThreadPool pool_;
};
