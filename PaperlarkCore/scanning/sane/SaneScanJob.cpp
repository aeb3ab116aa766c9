#include "scanning/sane/SaneScanJob.h"

#include "scanning/PageFileWriter.h"
#include "scanning/sane/SaneNames.h"
#include "scanning/sane/SaneStatusText.h"
#include "scanning/sane/SaneUnits.h"

#include <algorithm>
#include <chrono>
#include <string_view>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/ioctl.h>

namespace {

constexpr double millimetresPerInch = 25.4;
constexpr SANE_Int readChunk = 256 * 1024;
// Never reserve more than this up front, whatever a backend announces.
constexpr qsizetype maximumReservation = qsizetype(512) * 1024 * 1024;

// Backends that read in a thread of their own (sanei_thread, the test backend
// among them) stop that thread in sane_cancel with an asynchronous
// pthread_cancel. A thread stopped inside malloc leaves the heap's locks held,
// and this process then hangs in its next scan until the client's watchdog
// replaces it. Such a thread allocates as it starts, so a frame that fails or
// is cancelled just after sane_start is cancelled only once its thread has
// had this long to get going.
constexpr std::chrono::milliseconds readerSettleTime{200};

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

// After a read that brought nothing: whether the other end has closed the
// connection the image data comes through, with nothing left to read. The
// net backend reports such a connection (saned or a network scanner gone in
// the middle of a page) as "good, no data" for ever, and would be read in a
// busy loop until the application's watchdog gave up on it.
bool dataConnectionClosed(SANE_Handle handle) {
    SANE_Int fd = -1;
    if (sane_get_select_fd(handle, &fd) != SANE_STATUS_GOOD || fd < 0) {
        return false;
    }
    pollfd data{fd, POLLIN | POLLRDHUP, 0};
    if (::poll(&data, 1, 0) <= 0 || (data.revents & (POLLHUP | POLLRDHUP)) == 0) {
        return false;
    }
    int pending = 0;
    return ::ioctl(fd, FIONREAD, &pending) == 0 && pending == 0;
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
                         QList<BackendOption> options, Events events)
    : deviceName_(std::move(deviceName)), unit_(std::move(unit)),
      configuration_(std::move(configuration)), options_(std::move(options)),
      events_(std::move(events)) {}

void SaneScanJob::run(const std::function<void(const End&)>& ended) {
    // A connection that dropped since the device was last used (saned or a
    // network scanner restarted) fails the open or the first start; the
    // scanner library is then started afresh, which connects again, and the
    // scan begins once more.
    if (!attempt(ended, bool(events_.reconnect))) {
        if (events_.reconnect()) {
            attempt(ended, false);
        } else {
            ended({saneUnreachableText(), false, false});
        }
    }
}

bool SaneScanJob::attempt(const std::function<void(const End&)>& ended, bool mayRetry) {
    auto opened = SaneHandle::open(deviceName_);
    if (!opened) {
        const SANE_Status status = opened.failure();
        if (!saneMayBeDisconnected(status)) {
            ended({saneStatusText(status), false, false});
        } else if (mayRetry) {
            return false;
        } else {
            // Nothing was being scanned: the scan did not break off, the
            // device cannot be reached.
            ended({saneUnreachableText(), false, false});
        }
        return true;
    }

    End end;
    // An input/output error may mean the device has gone: that is known
    // once it is closed and cannot be opened again.
    bool mayBeGone = false;
    bool retry = false;
    {
        SaneHandle handle = std::move(opened).value();
        std::optional<std::chrono::steady_clock::time_point> frameStarted;
        end.error = SaneUnits::select(handle, unit_, configuration_.duplexScanningEnabled);
        if (!end.error) {
            end.error = configure(handle);
        }
        if (!end.error) {
            const std::optional<double> dpi =
                currentResolution(handle).value_or(configuration_.resolution.value_or(0));
            const bool feeder = unit_.unit.type == ScannerUnit::Type::documentFeeder;
            PageFileWriter writer(configuration_.downloadsDirectory.toLocalFile(),
                                  configuration_.documentName);
            int pages = 0;
            for (;;) {
                if (events_.cancelled()) {
                    end.cancelled = true;
                    break;
                }
                if (pages > 0) {
                    applyOptions(handle, pages + 1);
                }
                SanePageAssembler page;
                std::chrono::steady_clock::time_point lastByte;
                bool started = false;
                const SANE_Status status = readPage(handle, page, lastByte, frameStarted, started);
                if (status == SANE_STATUS_CANCELLED && events_.cancelled()) {
                    end.cancelled = true;
                    break;
                }
                // An empty feeder is the normal end of a feeder run.
                if (status == SANE_STATUS_NO_DOCS && feeder && pages > 0) {
                    break;
                }
                // Not even the first page could be started: nothing was
                // scanned, and the scan can begin again.
                if (mayRetry && !started && pages == 0 && saneMayBeDisconnected(status)) {
                    retry = true;
                    break;
                }
                if (status != SANE_STATUS_GOOD) {
                    mayBeGone = status == SANE_STATUS_IO_ERROR || status == SANE_STATUS_INVAL;
                    end.error = saneStatusText(status);
                    break;
                }
                const auto image = page.image(configuration_.pixelType);
                if (!image) {
                    end.error = image.failure();
                    break;
                }
                const auto file = writer.write(image.value(), dpi);
                if (!file) {
                    end.error = file.failure();
                    break;
                }
                ++pages;
                events_.pageWritten(file.value().toLocalFile(), lastByte);
                if (!feeder) {
                    break;
                }
            }
        }
        if (!mayBeGone && !retry) {
            ended(end);
        }
        if (frameStarted) {
            std::this_thread::sleep_until(*frameStarted + readerSettleTime);
        }
    } // the device is closed here

    if (retry) {
        return false;
    }
    if (mayBeGone) {
        if (!stillAnswers()) {
            end.error.reset();
            end.lost = true;
        }
        ended(end);
    }
    return true;
}

std::optional<QString> SaneScanJob::configure(SaneHandle& handle) const {
    using PixelType = ScanConfiguration::PixelType;
    const PixelType wanted = configuration_.pixelType;

    // A setting the device offers must be taken: a scan that went on with
    // the backend's own value would come out at another size, resolution or
    // colour than asked for, and look like a success. An option the device
    // does not have is left out.
    const auto set = [&handle](std::string_view option, double value) {
        return !handle.settable(option) || handle.setNumber(option, value);
    };

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
    if (mode && handle.settable("mode") && !handle.setString("mode", *mode)) {
        return QStringLiteral("The scanner did not accept the colour mode \"") + *mode +
               QStringLiteral("\".");
    }

    if (const auto depths = handle.numberRange("depth"); depths && handle.settable("depth")) {
        const double wantedDepth = wanted == PixelType::blackAndWhite ? 1 : 8;
        const auto offers = [&](double depth) {
            return depths->values.isEmpty() ? depth >= depths->min && depth <= depths->max
                                            : depths->values.contains(depth);
        };
        std::optional<double> depth;
        if (offers(wantedDepth)) {
            depth = wantedDepth;
        } else if (wanted != PixelType::blackAndWhite && offers(16)) {
            depth = 16;
        }
        if (depth && !handle.setNumber("depth", *depth)) {
            return QStringLiteral("The scanner did not accept a bit depth of %1.").arg(*depth);
        }
    }

    if (const auto dpi = configuration_.resolution) {
        const bool taken = handle.settable("resolution")
                               ? handle.setNumber("resolution", *dpi)
                               : set("x-resolution", *dpi) && set("y-resolution", *dpi);
        if (!taken) {
            return QStringLiteral("The scanner did not accept the resolution of %1 dpi.").arg(*dpi);
        }
    }
    const double dpi = currentResolution(handle).value_or(configuration_.resolution.value_or(0));

    const QString areaRefused = QStringLiteral("The scanner did not accept the scan area.");
    std::optional<QRectF> area = configuration_.scanArea;
    if (const auto paper = configuration_.documentType) {
        const PaperInches size = inches(*paper);
        // Sheet-fed scanners cap the length they pull in with the page size.
        if (const auto width = inOptionUnit(handle, "page-width", size.width, dpi);
            width && !set("page-width", *width)) {
            return areaRefused;
        }
        if (const auto height = inOptionUnit(handle, "page-height", size.height, dpi);
            height && !set("page-height", *height)) {
            return areaRefused;
        }
        area = QRectF(0, 0, size.width, size.height);
    }
    if (area) {
        const std::pair<std::string_view, double> corners[] = {{"tl-x", area->left()},
                                                               {"tl-y", area->top()},
                                                               {"br-x", area->right()},
                                                               {"br-y", area->bottom()}};
        for (const auto& [option, inches] : corners) {
            const auto value = inOptionUnit(handle, option, inches, dpi);
            if (value && !set(option, *value)) {
                return areaRefused;
            }
        }
    }

    applyOptions(handle, 1);
    // Options that looked absent because the backend would not list them
    // were skipped: the scan would not be the one asked for.
    if (handle.optionListFailed()) {
        return QStringLiteral("The scanner did not report its settings.");
    }
    return std::nullopt;
}

void SaneScanJob::applyOptions(SaneHandle& handle, int sheet) const {
    for (const BackendOption& option : options_) {
        if (option.fromSheet == sheet) {
            handle.setFromText(
                std::string_view(option.name.constData(), static_cast<size_t>(option.name.size())),
                option.value);
        }
    }
}

SANE_Status SaneScanJob::readPage(SaneHandle& handle, SanePageAssembler& page,
                                  std::chrono::steady_clock::time_point& lastByte,
                                  std::optional<std::chrono::steady_clock::time_point>& started,
                                  bool& anyFrameStarted) const {
    std::vector<SANE_Byte> buffer(readChunk);
    for (;;) {
        SANE_Status status = sane_start(handle.get());
        if (status != SANE_STATUS_GOOD) {
            return status;
        }
        anyFrameStarted = true;
        started = std::chrono::steady_clock::now();
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
        for (;;) {
            if (events_.cancelled()) {
                return SANE_STATUS_CANCELLED;
            }
            SANE_Int length = 0;
            status = sane_read(handle.get(), buffer.data(), readChunk, &length);
            if (status == SANE_STATUS_EOF) {
                break;
            }
            if (status != SANE_STATUS_GOOD) {
                return status;
            }
            if (length > 0) {
                data.append(reinterpret_cast<const char*>(buffer.data()), length);
                lastByte = std::chrono::steady_clock::now();
                events_.dataArrived(data.size());
            } else if (dataConnectionClosed(handle.get())) {
                return SANE_STATUS_IO_ERROR;
            }
        }
        page.addFrame(parameters, std::move(data));
        if (parameters.last_frame) {
            started.reset();
            return SANE_STATUS_GOOD;
        }
    }
}

bool SaneScanJob::stillAnswers() const {
    return SaneHandle::open(deviceName_).ok();
}
