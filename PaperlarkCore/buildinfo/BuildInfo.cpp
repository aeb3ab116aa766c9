#include "buildinfo/BuildInfo.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace BuildInfo {

QString informationString(const InformationList& list, const QString& key,
                          const QString& fallback) {
    const auto entry = list.constFind(key);
    if (entry == list.constEnd() || entry->typeId() != QMetaType::QString) {
        return fallback;
    }
    return entry->toString();
}

QString version(const InformationList& list) {
    return informationString(list, QStringLiteral("CFBundleShortVersionString"),
                             QStringLiteral("0.0.0"));
}

QString buildDate(const InformationList& list) {
    return informationString(list, QStringLiteral("BuildDate"), QStringLiteral("unknown"));
}

QString publisher(const InformationList& list) {
    return informationString(list, QStringLiteral("NSHumanReadableCopyright"),
                             QStringLiteral("Wrenfold"));
}

QString version() {
    return version(informationList());
}

QString buildDate() {
    return buildDate(informationList());
}

QString publisher() {
    return publisher(informationList());
}

std::optional<QUrl> executableURL() {
    const QString target = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (target.isEmpty()) {
        return std::nullopt;
    }
    return QUrl::fromLocalFile(target);
}

std::optional<QString> sha256OfFile(const QUrl& file) {
    QFile input(file.toLocalFile());
    if (!input.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&input) || input.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    return QString::fromLatin1(hash.result().toHex());
}

std::optional<QString> executableSHA256() {
    // The kernel's link to the running image, not the path it names: an
    // upgrade that replaces or deletes the file leaves the link readable.
    return sha256OfFile(QUrl::fromLocalFile(QStringLiteral("/proc/self/exe")));
}

SignatureState signature() {
    return SignatureState{false, std::nullopt, std::nullopt};
}

} // namespace BuildInfo
