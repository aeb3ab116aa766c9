#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// A folder that could not be created, with the system's reason.
struct FolderFailure {
    QUrl folder;
    QString reason;

    // "Could not create the folder at PATH (REASON)."
    QString description() const;

    // Creates the folder and any missing parents; nothing on success.
    static std::optional<FolderFailure> createPath(const QUrl& folder);
};
