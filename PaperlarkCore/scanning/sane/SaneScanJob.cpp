#include "scanning/sane/SaneScanJob.h"

#include "scanning/sane/PageFileWriter.h"
#include "scanning/sane/SaneNames.h"
#include "scanning/sane/SaneReaderThreads.h"
#include "scanning/sane/SaneStatusText.h"
#include "scanning/sane/SaneUnits.h"

#include <algorithm>
#include <chrono>
#include <string_view>
#include <thread>
#include <vector>

namespace {

constexpr double millimetresPerInch = 25.4;
constexpr SANE_Int readChunk = 256 * 1024;
// How long a backend's reader thread is waited for, at most, before a call
// that may cancel it (see SaneReaderThreads).
constexpr auto readerWaitLimit = std::chrono::milliseconds(2000);
// What a pipe holds on Linux by default.
constexpr qint64 pipeCapacity = 64 * 1024;
// Never reserve more than this up front, whatever a backend announces.
constexpr qsizetype maximumReservation = qsizetype(512) * 1024 * 1024;

// A length in inches in the unit of a geometry option.
std::optional<double> inOptionUnit(const SaneHandle& handle, std::string_view option, double inches,
                                   double dpi) {
    const auto unit = handle.unit(option);
    if (!unit) {
        return std::nullopt;
    }
    if (*unit == SANE_UNIT_MM) {
        return inches * millimetresPerInch;
    }
    if (*unit == SANE_UNIT_PIXEL && dpi > 0) {
        return inches * dpi;
    }
    return std::nullopt;
}

std::optional<double> currentResolution(const SaneHandle& handle) {
    for (const std::string_view name :
         {std::string_view("resolution"), std::string_view("x-resolution")}) {
        if (const auto value = handle.numberValue(name)) {
            return value;
        }
    }
    return std::nullopt;
}

} // namespace

SaneScanJob::SaneScanJob(QByteArray deviceName, SaneUnitSetup unit, ScanConfiguration configuration,
                         QList<std::pair<QByteArray, QByteArray>> extraOptions,
                         std::shared_ptr<const std::atomic<bool>> abandoned, Events events)
    : deviceName_(std::move(deviceName)), unit_(std::move(unit)),
      configuration_(std::move(configuration)), extraOptions_(std::move(extraOptions)),
      abandoned_(std::move(abandoned)), events_(std::move(events)) {}

bool SaneScanJob::shouldStop(const SaneWorker& worker) const {
    return worker.stopping() || abandoned_->load();
}

void SaneScanJob::run(SaneWorker& worker) {
    if (shouldStop(worker)) {
        return;
    }
    if (!worker.initialised()) {
        events_.completed(QStringLiteral("The scanner access library could not be started."));
        return;
    }

    auto opened = SaneHandle::open(worker, deviceName_);
    if (!opened) {
        // The session was opened earlier, so a device that cannot even be
        // opened now has gone away.
        const SANE_Status status = opened.failure();
        if (status == SANE_STATUS_INVAL || status == SANE_STATUS_IO_ERROR) {
            events_.lost();
        } else {
            events_.completed(saneStatusText(status));
        }
        return;
    }

    std::optional<QString> failure;
    std::optional<SANE_Status> failedStatus;
    {
        SaneHandle handle = std::move(opened).value();
        failure = SaneUnits::select(handle, unit_, configuration_.duplexScanningEnabled);
        if (!failure) {
            configure(handle);
            const std::optional<double> dpi =
                currentResolution(handle).value_or(configuration_.resolution.value_or(0));
            const bool feeder = unit_.unit.type == ScannerUnit::Type::documentFeeder;
            PageFileWriter writer(configuration_.downloadsDirectory.toLocalFile(),
                                  configuration_.documentName);
            int pages = 0;
            while (!shouldStop(worker)) {
                SanePageAssembler page;
                const SANE_Status status = readPage(worker, handle, page);
                if (shouldStop(worker)) {
                    break;
                }
                if (status == SANE_STATUS_NO_DOCS && feeder && pages > 0) {
                    break; // the feeder is empty: every sheet is scanned
                }
                if (status != SANE_STATUS_GOOD) {
                    failedStatus = status;
                    failure = saneStatusText(status);
                    break;
                }
                const auto image = page.image(configuration_.pixelType);
                if (!image) {
                    failure = image.failure();
                    break;
                }
                const auto file = writer.write(image.value(), dpi);
                if (!file) {
                    failure = file.failure();
                    break;
                }
                ++pages;
                events_.fileWritten(file.value());
                if (!feeder) {
                    break;
                }
            }
        }
    } // the device is closed here, before anything else touches SANE

    if (shouldStop(worker)) {
        return;
    }
    if (failedStatus &&
        (*failedStatus == SANE_STATUS_IO_ERROR || *failedStatus == SANE_STATUS_INVAL) &&
        !stillAnswers(worker)) {
        events_.lost();
        return;
    }
    events_.completed(failure);
}

void SaneScanJob::configure(SaneHandle& handle) const {
    using PixelType = ScanConfiguration::PixelType;
    const PixelType wanted = configuration_.pixelType;

    // Mode first: it can change which depths and resolutions are offered.
    const QStringList modes = handle.stringChoices("mode");
    std::optional<QString> mode = SaneNames::modeFor(modes, wanted);
    if (!mode && wanted == PixelType::blackAndWhite) {
        mode = SaneNames::modeFor(modes, PixelType::grey);
    }
    if (!mode) {
        mode =
            SaneNames::modeFor(modes, wanted == PixelType::rgb ? PixelType::grey : PixelType::rgb);
    }
    if (mode) {
        handle.setString("mode", *mode);
    }

    if (const auto depths = handle.numberRange("depth"); depths && handle.settable("depth")) {
        const double wantedDepth = wanted == PixelType::blackAndWhite ? 1 : 8;
        const auto offers = [&](double depth) {
            return depths->values.isEmpty() ? depth >= depths->min && depth <= depths->max
                                            : depths->values.contains(depth);
        };
        if (offers(wantedDepth)) {
            handle.setNumber("depth", wantedDepth);
        } else if (wanted != PixelType::blackAndWhite && offers(16)) {
            handle.setNumber("depth", 16);
        }
    }

    if (const auto dpi = configuration_.resolution) {
        if (!handle.setNumber("resolution", *dpi)) {
            handle.setNumber("x-resolution", *dpi);
            handle.setNumber("y-resolution", *dpi);
        }
    }
    const double dpi = currentResolution(handle).value_or(configuration_.resolution.value_or(0));

    std::optional<QRectF> area = configuration_.scanArea;
    if (const auto paper = configuration_.documentType) {
        const PaperInches size = inches(*paper);
        // Sheet-fed scanners cap the length they pull in with the page size.
        if (const auto width = inOptionUnit(handle, "page-width", size.width, dpi)) {
            handle.setNumber("page-width", *width);
        }
        if (const auto height = inOptionUnit(handle, "page-height", size.height, dpi)) {
            handle.setNumber("page-height", *height);
        }
        area = QRectF(0, 0, size.width, size.height);
    }
    if (area) {
        const auto set = [&](std::string_view option, double inches) {
            if (const auto value = inOptionUnit(handle, option, inches, dpi)) {
                handle.setNumber(option, *value);
            }
        };
        set("tl-x", area->left());
        set("tl-y", area->top());
        set("br-x", area->right());
        set("br-y", area->bottom());
    }

    for (const auto& [name, value] : extraOptions_) {
        handle.setFromText(std::string_view(name.constData(), static_cast<size_t>(name.size())),
                           value);
    }
}

SANE_Status SaneScanJob::readPage(SaneWorker& worker, SaneHandle& handle,
                                  SanePageAssembler& page) const {
    std::vector<SANE_Byte> buffer(readChunk);
    for (;;) {
        const SaneReaderThreads::ThreadIds threadsBefore = SaneReaderThreads::snapshot();
        worker.callStarted();
        SANE_Status status = sane_start(handle.get());
        worker.callFinished();
        if (status != SANE_STATUS_GOOD) {
            return status;
        }
        const SaneReaderThreads readers(threadsBefore);
        SANE_Parameters parameters{};
        status = sane_get_parameters(handle.get(), &parameters);
        if (status != SANE_STATUS_GOOD) {
            return status;
        }
        QByteArray data;
        if (parameters.lines > 0 && parameters.bytes_per_line > 0) {
            data.reserve(std::min(qsizetype(parameters.lines) * parameters.bytes_per_line,
                                  maximumReservation));
        }
        // Backends that read through a helper thread (sanei_thread) cancel it
        // asynchronously at the end of each frame and in sane_cancel. Two
        // waits keep clear of the moments when that is unsafe: before the
        // read that ends the frame, once the rest of it fits in the pipe
        // behind the reader (which is then done writing and about to end), and
        // after a read that fails, before the caller cancels.
        const qint64 expected =
            parameters.lines > 0 ? qint64(parameters.lines) * parameters.bytes_per_line : -1;
        bool paused = false;
        for (;;) {
            if (shouldStop(worker)) {
                return SANE_STATUS_CANCELLED;
            }
            if (!paused && expected >= 0 && expected - data.size() <= pipeCapacity) {
                if (!readers.waitUntilEnded(readerWaitLimit)) {
                    readers.waitUntilQuiet(readerWaitLimit);
                }
                paused = true;
            }
            SANE_Int length = 0;
            worker.callStarted();
            status = sane_read(handle.get(), buffer.data(), readChunk, &length);
            worker.callFinished();
            if (status == SANE_STATUS_EOF) {
                break;
            }
            if (status != SANE_STATUS_GOOD) {
                readers.waitUntilQuiet(readerWaitLimit);
                return status;
            }
            if (length > 0) {
                data.append(reinterpret_cast<const char*>(buffer.data()), length);
            }
        }
        page.addFrame(parameters, std::move(data));
        if (parameters.last_frame) {
            return SANE_STATUS_GOOD;
        }
    }
}

bool SaneScanJob::stillAnswers(SaneWorker& worker) const {
    return SaneHandle::open(worker, deviceName_).ok();
}
