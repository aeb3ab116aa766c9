#include "pages/FolderFailure.h"

#include <filesystem>
#include <system_error>

QString FolderFailure::description() const {
    return QStringLiteral("Could not create the folder at %1 (%2).")
        .arg(folder.toLocalFile(), reason);
}

std::optional<FolderFailure> FolderFailure::createPath(const QUrl& folder) {
    std::error_code error;
    const std::filesystem::path path(folder.toLocalFile().toStdString());
    std::filesystem::create_directories(path, error);
    if (error) {
        return FolderFailure{folder, QString::fromStdString(error.message())};
    }
    if (!std::filesystem::is_directory(path, error)) {
        return FolderFailure{
            folder,
            QString::fromStdString(std::make_error_code(std::errc::not_a_directory).message())};
    }
    return std::nullopt;
}
