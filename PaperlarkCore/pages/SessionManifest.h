#pragma once

#include "pages/ScannedPage.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

// The record of a session's page list, kept beside the pages in the session
// folder so that a session that ended without cleaning up (a crash, a power
// cut, a killed process) can be offered back at the next start.
//
// Stored as "manifest.json": {"version": 2, "changed": ISO 8601 UTC time,
// "pages": [{"id", "file", "dpi", "description", "turns"}, ...]} in page-list
// order; "file" is the bare name of the page's cache file inside the folder,
// "turns" the page's ScannedPage::cacheTurns (left out when 0), "text" true
// when the page keeps a text layer beside its file (ScannedPage::
// textLayerURLFor; left out otherwise, and ignored by earlier versions). A manifest
// with no turns is written as version 1, which has no "turns" at all, so
// that earlier versions can still restore it; they refuse version 2 as a
// whole and leave its folder alone rather than restore pages unturned.
//
// Reading trusts nothing: a file that is not a regular file of this user, is
// larger than maxBytes, is not UTF-8 JSON of this version is refused as a
// whole; entries whose id, file name or resolution do not check out (a path,
// a name that is not a page name, a duplicate) are dropped one by one.
class SessionManifest {
public:
    struct Entry {
        QUuid id;
        QString file;
        double dpi = 0;
        QString description;
        int turns = 0; // 0...3
        // The page's text layer lies beside its file.
        bool text = false;

        bool operator==(const Entry&) const = default;
    };

    static constexpr int currentVersion = 2;
    // The version without turns.
    static constexpr int unturnedVersion = 1;
    static constexpr qint64 maxBytes = qint64{8} << 20;
    static const QString fileName;

    QList<Entry> pages;
    // When the page list last changed (UTC).
    QDateTime changed;
    // Entries fromJson() dropped (not written, only read).
    int rejected = 0;

    // The manifest of a page list at `changed`. Pages whose cache file is not
    // directly inside `folder` are left out (they could not be restored).
    static SessionManifest of(const QList<std::shared_ptr<ScannedPage>>& pages,
                              const QString& folder, const QDateTime& changed);

    QByteArray toJson() const;
    static std::optional<SessionManifest> fromJson(const QByteArray& json);

    // Writes the manifest into `folder` durably (write, sync, rename): the
    // previous manifest stays whole until the new one is complete on disk.
    bool write(const QString& folder) const;
    // The manifest in `folder`, or nothing (see above).
    static std::optional<SessionManifest> read(const QString& folder);

    // "page_" + upper-case UUID + ".png" or ".jpg": the only names a page's
    // file may have, so that no entry can point anywhere else.
    static bool isPageFileName(const QString& name);

    // The bytes of the page file `name` in `folder`, when `name` is a page
    // file name and the file a regular file of this user with no other name
    // (not a link of either kind to a file elsewhere) and at most
    // maxPageFileBytes long; nothing otherwise.
    static std::optional<QByteArray> readPageFile(const QString& folder, const QString& name);
    static constexpr qint64 maxPageFileBytes = qint64{512} << 20;

    bool operator==(const SessionManifest&) const = default;
};
