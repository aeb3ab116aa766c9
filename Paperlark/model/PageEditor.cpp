#include "model/PageEditor.h"

#include "ocr/OrientationDetector.h"
#include "pages/CropDetector.h"
#include "pages/PageOperations.h"

#include <QHash>
#include <QStringList>

#include <algorithm>

#include <utility>

// What became of one page: a new page made of it, or the quarter turns it
// needs; `revision` tells whether the page changed meanwhile.
struct PageEditor::Outcome {
    QUuid id;
    int revision = 0;
    std::shared_ptr<ScannedPage> made;
    int turns = 0;
};

// The outcome of one operation. A new page that no one took is discarded
// with it, also when it is never delivered.
struct PageEditor::Edited {
    QList<Outcome> outcomes;
    std::optional<QString> failure;

    Edited() = default;
    Edited(const Edited&) = delete;
    Edited& operator=(const Edited&) = delete;
    ~Edited() {
        for (const Outcome& outcome : outcomes) {
            if (outcome.made) {
                outcome.made->discard();
            }
        }
    }
};

PageEditor::PageEditor(PageDocument& document, QObject* parent)
    : QObject(parent), document_(document) {
    // One operation and one crop frame at a time.
    pool_.setMaxThreadCount(2);
}

PageEditor::~PageEditor() {
    cancel();
}

void PageEditor::cancel() {
    const bool wasBusy = busy();
    job_.cancel();
    frameJob_.cancel();
    if (wasBusy) {
        Q_EMIT busyChanged();
    }
}

void PageEditor::wait() const {
    job_.wait();
    frameJob_.wait();
}

template <typename Work, typename Done>
void PageEditor::start(const PageDocument::Pages& pages, const QString& progress, Work work,
                       Done done) {
    if (busy() || pages.isEmpty()) {
        return;
    }
    // The work reads copies: the pages themselves stay on this thread.
    QList<ScannedPage> copies;
    for (const auto& page : pages) {
        copies.append(*page);
    }
    using EditJob = Job<std::shared_ptr<Edited>>;
    job_ = EditJob::run(
        this,
        [copies = std::move(copies), work](const EditJob::Context& context) {
            auto edited = std::make_shared<Edited>();
            for (qsizetype i = 0; i < copies.size() && !context.isCancelled(); ++i) {
                context.report({i, copies.size()});
                Outcome outcome{copies[i].id(), copies[i].revision(), nullptr, 0};
                edited->failure = work(copies[i], outcome);
                edited->outcomes.append(std::move(outcome));
                if (edited->failure) {
                    break;
                }
            }
            return edited;
        },
        [this, done](std::shared_ptr<Edited> edited) {
            done(*edited);
            if (edited->failure) {
                Q_EMIT failed(*edited->failure);
            }
            Q_EMIT busyChanged();
        },
        [this, progress](JobProgress step) {
            Q_EMIT statusReported(progress.arg(step.done + 1).arg(step.total));
        },
        &pool_);
    Q_EMIT busyChanged();
}

int PageEditor::apply(Edited& edited) {
    QHash<QUuid, std::shared_ptr<ScannedPage>> replacements;
    QHash<QUuid, int> turns;
    for (const Outcome& outcome : edited.outcomes) {
        const bool unchanged = std::any_of(
            document_.pages().cbegin(), document_.pages().cend(), [&outcome](const auto& page) {
                return page->id() == outcome.id && page->revision() == outcome.revision;
            });
        if (!unchanged) {
            continue;
        }
        if (outcome.made) {
            replacements.insert(outcome.id, outcome.made);
        } else if (outcome.turns != 0) {
            turns.insert(outcome.id, outcome.turns);
        }
    }
    int count = 0;
    if (!replacements.isEmpty()) {
        count = document_.replacePages(replacements);
        for (Outcome& outcome : edited.outcomes) {
            if (replacements.contains(outcome.id)) {
                outcome.made.reset(); // the document's now
            }
        }
    }
    if (!turns.isEmpty()) {
        count += document_.turnPages(turns);
    }
    return count;
}

void PageEditor::straightenSelection() {
    start(
        document_.list().selectedPages(), QStringLiteral("Straightening page %1 of %2..."),
        [](const ScannedPage& page, Outcome& outcome) -> std::optional<QString> {
            auto made = PageOperations::straighten(page);
            if (!made) {
                return made.failure().description();
            }
            outcome.made = std::move(made.value()).value_or(nullptr);
            return std::nullopt;
        },
        [this](Edited& edited) {
            qsizetype straight = 0;
            for (const Outcome& outcome : edited.outcomes) {
                straight += outcome.made ? 0 : 1;
            }
            straight -= edited.failure ? 1 : 0;
            const int straightened = apply(edited);
            QStringList parts;
            if (straightened > 0 || (straight == 0 && !edited.failure)) {
                parts << QStringLiteral("Straightened %1 page(s).").arg(straightened);
            }
            if (straight > 0) {
                parts << QStringLiteral("%1 page(s) were already straight.").arg(straight);
            }
            if (!parts.isEmpty()) {
                Q_EMIT statusReported(parts.join(u' '));
            }
        });
}

void PageEditor::turnSelectionUpright() {
    start(
        document_.list().selectedPages(), QStringLiteral("Looking at page %1 of %2..."),
        [](const ScannedPage& page, Outcome& outcome) -> std::optional<QString> {
            const auto image = page.loadFullImage();
            if (!image) {
                return image.failure().description();
            }
            outcome.turns =
                OrientationDetector::uprightTurns(image.value(), page.dpi()).value_or(0);
            return std::nullopt;
        },
        [this](Edited& edited) {
            Q_EMIT statusReported(QStringLiteral("Turned %1 page(s) upright.").arg(apply(edited)));
        });
}

void PageEditor::crop(const QUuid& id, const QRect& rect) {
    PageDocument::Pages pages;
    for (const auto& page : document_.pages()) {
        if (page->id() == id) {
            pages.append(page);
            break;
        }
    }
    start(
        pages, QStringLiteral("Cropping page %1 of %2..."),
        [rect](const ScannedPage& page, Outcome& outcome) -> std::optional<QString> {
            auto made = PageOperations::crop(page, rect);
            if (!made) {
                return made.failure().description();
            }
            outcome.made = std::move(made).value();
            return std::nullopt;
        },
        [this](Edited& edited) {
            const std::shared_ptr<ScannedPage> made =
                edited.outcomes.isEmpty() ? nullptr : edited.outcomes.front().made;
            if (apply(edited) == 0) {
                return;
            }
            const qsizetype place = document_.pages().indexOf(made);
            Q_EMIT statusReported(QStringLiteral("Cropped page %1.").arg(place + 1));
        });
}

void PageEditor::findCropFrame(const QUuid& id) {
    const auto found = std::find_if(document_.pages().cbegin(), document_.pages().cend(),
                                    [&id](const auto& page) { return page->id() == id; });
    if (found == document_.pages().cend()) {
        return;
    }
    frameJob_.cancel();
    frameJob_ = Job<std::optional<QRect>>::run(
        this,
        [page = ScannedPage(**found)](const JobContext<>&) -> std::optional<QRect> {
            const auto image = page.loadFullImage();
            if (!image) {
                return std::nullopt;
            }
            return CropDetector::frame(image.value(), page.dpi());
        },
        [this, id](std::optional<QRect> frame) {
            if (frame) {
                Q_EMIT cropFrameFound(id, *frame);
            }
        },
        {}, &pool_);
}
