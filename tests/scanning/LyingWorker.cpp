// A scanner worker that speaks the real protocol and lies about its pages.
//
// It offers one flatbed scanner. Each scan writes one honest page, then does
// what PAPERLARK_LIE says, then ends the scan normally and goes on serving,
// so that only the application's own checks can stop it:
//   none       nothing more
//   again      announces the honest page a second time
//   dotdot     links "pagex" to the folder PAPERLARK_LIE_OUTSIDE/folder and
//              announces "pagex/../page-photo.png" (a page file of the user's)
//   symlink    makes page-2.png a symbolic link to PAPERLARK_LIE_OUTSIDE/decoy.png
//   hardlink   makes page-2.png a hard link to it
//   absolute   announces PAPERLARK_LIE_OUTSIDE/decoy.png itself
//   cache      announces the cache file PAPERLARK_LIE_CACHE in the scan's folder
//   fifo       makes page-2.png a named pipe
//   nodata     page-2.png declares 2000 x 3000 pixels and holds no image data
//   smalldata  page-2.png declares 300 x 200 pixels and holds 40 x 30
//   ink        page-2.png is black, its summary says it holds no ink
//   thumbnail  page-2.png is black, its summary's thumbnail is white
//   partial    page-2.png stops half-way through its image data

#include "pages/PageSummary.h"
#include "pages/PngEncoder.h"
#include "pages/ScannedPage.h"
#include "scanning/PageFileWriter.h"
#include "scanning/worker/WorkerProtocol.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QtEndian>

#include <cstdlib>
#include <libdeflate.h>
#include <type_traits>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace WorkerProtocol;

bool send(const Reply& reply) {
    const QByteArray bytes = encode(reply);
    return ::write(STDOUT_FILENO, bytes.constData(), std::size_t(bytes.size())) == bytes.size();
}

QImage filled(QSize size, QRgb colour) {
    QImage image(size, QImage::Format_RGB888);
    image.fill(colour);
    return image;
}

// A PNG of `image` in the page writer's form, carrying `summary`.
QByteArray png(const QImage& image, const PageSummary& summary) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    PngEncoder::write(image, buffer, 100, 1,
                      [&summary] { return QList<PngEncoder::Chunk>{*summary.chunk()}; });
    return buffer.data();
}

// The file without its chunks of type `type`.
QByteArray withoutChunks(const QByteArray& file, const char* type) {
    QByteArray out = file.left(8);
    for (qsizetype at = 8; at + 12 <= file.size();) {
        const qsizetype length = qFromBigEndian<quint32>(file.constData() + at);
        if (file.mid(at + 4, 4) != type) {
            out += file.mid(at, 12 + length);
        }
        at += 12 + length;
    }
    return out;
}

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(bytes);
    }
}

// Does the lie; the path to announce, if any.
QString lie(const QByteArray& what, const QString& folder, const QString& honest) {
    const QString outside = qEnvironmentVariable("PAPERLARK_LIE_OUTSIDE");
    const QString decoy = outside + "/decoy.png";
    const QString second = folder + "/page-2.png";
    const QSize size(300, 400);
    if (what == "again") {
        return honest;
    }
    if (what == "dotdot") {
        QFile::link(outside + "/folder", folder + "/pagex");
        return folder + "/pagex/../page-photo.png";
    }
    if (what == "symlink") {
        QFile::link(decoy, second);
        return second;
    }
    if (what == "hardlink") {
        ::link(QFile::encodeName(decoy).constData(), QFile::encodeName(second).constData());
        return second;
    }
    if (what == "absolute") {
        return decoy;
    }
    if (what == "cache") {
        return folder + "/" + qEnvironmentVariable("PAPERLARK_LIE_CACHE");
    }
    if (what == "fifo") {
        ::mkfifo(QFile::encodeName(second).constData(), 0600);
        return second;
    }
    if (what == "nodata") {
        const QImage claimed = filled({2000, 3000}, qRgb(255, 255, 255));
        write(second, withoutChunks(png(claimed, PageSummary::of(claimed, 100)), "IDAT"));
        return second;
    }
    if (what == "smalldata") {
        const QImage claimed = filled({300, 200}, qRgb(255, 255, 255));
        QByteArray bytes =
            png(filled({40, 30}, qRgb(255, 255, 255)), PageSummary::of(claimed, 100));
        qToBigEndian<quint32>(300, bytes.data() + 16);
        qToBigEndian<quint32>(200, bytes.data() + 20);
        qToBigEndian<quint32>(quint32(libdeflate_crc32(0, bytes.constData() + 12, 17)),
                              bytes.data() + 29);
        write(second, bytes);
        return second;
    }
    if (what == "ink" || what == "thumbnail") {
        const QImage black = filled(size, qRgb(0, 0, 0));
        PageSummary summary = PageSummary::of(black, 100);
        if (what == "ink") {
            summary.inkShare = 0;
        } else {
            summary.thumbnail = ScannedPage::makeThumbnail(filled(size, qRgb(255, 255, 255)));
        }
        write(second, png(black, summary));
        return second;
    }
    if (what == "partial") {
        const QImage page = filled(size, qRgb(90, 120, 200));
        const QByteArray bytes = png(page, PageSummary::of(page, 100));
        write(second, bytes.left(bytes.size() - 40));
        return second;
    }
    return {};
}

void scan(const StartScan& request) {
    const QString folder = request.configuration.downloadsDirectory.toLocalFile();
    PageFileWriter writer(folder, request.configuration.documentName);
    QImage page = filled({300, 400}, qRgb(250, 250, 245));
    for (int y = 100; y < 140; ++y) {
        for (int x = 50; x < 250; ++x) {
            page.setPixel(x, y, qRgb(20, 20, 30));
        }
    }
    const auto honest = writer.write(page, 100.0);
    if (!honest) {
        send(ScanEnded{honest.failure(), false, false});
        send(DeviceClosed{});
        return;
    }
    send(PageWritten{honest.value().toLocalFile(), 0});
    const QString told = lie(qgetenv("PAPERLARK_LIE"), folder, honest.value().toLocalFile());
    if (!told.isEmpty()) {
        send(PageWritten{told, 0});
    }
    send(ScanEnded{});
    send(DeviceClosed{});
}

} // namespace

int main() {
    if (!send(Ready{true})) {
        return 1;
    }
    FrameReader reader;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            return 0;
        }
        reader.append(buffer, got);
        while (const auto frame = reader.next()) {
            const auto request = decodeRequest(*frame);
            if (!request) {
                return 2;
            }
            std::visit(
                [](const auto& message) {
                    using M = std::decay_t<decltype(message)>;
                    if constexpr (std::is_same_v<M, ListDevices>) {
                        send(DeviceList{{{"liar:0", "Liar", "Flatbed", "flatbed scanner"}}, {}});
                    } else if constexpr (std::is_same_v<M, OpenDevice>) {
                        SaneUnitSetup flatbed;
                        flatbed.unit = {ScannerUnit::Type::flatbed, {100}, {8.5, 11.7}, false};
                        send(Opened{{flatbed}});
                    } else if constexpr (std::is_same_v<M, StartScan>) {
                        scan(message);
                    }
                },
                *request);
        }
        if (reader.invalid()) {
            return 2;
        }
    }
}
