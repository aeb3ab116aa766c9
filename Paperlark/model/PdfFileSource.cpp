#include "model/PdfFileSource.h"

#include <utility>

PdfFileSource::PdfFileSource(QUrl file, PdfImport::Settings settings)
    : file_(std::move(file)), settings_(std::move(settings)) {}

std::optional<ImportFailure> PdfFileSource::makePages(const QUrl& cacheFolder, const Yield& yield,
                                                      const std::atomic<bool>& cancelled) {
    PdfImport::Events events;
    events.opened = [&yield](int count) { yield({nullptr, 1, count}); };
    events.page = [&yield](std::shared_ptr<ScannedPage> page, int number, int count) {
        yield({std::move(page), number, count});
        if (number < count) {
            yield({nullptr, number + 1, count});
        }
    };
    const auto imported = PdfImport::run(file_, cacheFolder, events, &cancelled, settings_);
    if (!imported) {
        return ImportFailure::of(imported.failure());
    }
    return std::nullopt;
}
