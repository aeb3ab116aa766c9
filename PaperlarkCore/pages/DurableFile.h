#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A file that appears at its path complete and on disk, or not at all.
//
// The data goes to a hidden temporary file beside the target (".NAME.XXXXXX",
// created exclusively, readable by the user only); commit() flushes it to disk (fsync), renames it
// over the target in one step and then flushes the folder, so that the rename itself survives a
// power cut. Until then any earlier file at the path stays as it was; without a successful commit()
// the temporary file is removed when the object goes away. A process killed half-way leaves at most
// a temporary file, never a partial file under the target's name.
class DurableFile {
public:
    explicit DurableFile(QString path);
    ~DurableFile();
    DurableFile(const DurableFile&) = delete;
    DurableFile& operator=(const DurableFile&) = delete;

    // True when the temporary file could be created.
    bool isOpen() const { return file_.isOpen(); }
    QIODevice& device() { return file_; }
    const QString& path() const { return path_; }

    // Flushes, syncs, renames over the target and syncs the folder. False
    // (and the temporary file removed, the target untouched) when a write,
    // the sync or the rename failed.
    bool commit();

    // Writes `bytes` to `path` the same way; false on any failure.
    static bool write(const QString& path, const QByteArray& bytes);

    // Flushes a folder's entries (renames, new and removed files) to disk.
    static bool syncFolder(const QString& folder);

    // Whether a file name is one of the temporary names used here.
    static bool isTemporaryName(const QString& name);

    // For tests that stop a writer at the moments that matter: called with
    // the target's path just before the rename (renamed = false, the data
    // complete on disk under the temporary name) and just after it. Set it
    // before any file is written; nothing calls it otherwise.
    using CommitHook = void (*)(const QString& path, bool renamed);
    static void setCommitHook(CommitHook hook);

private:
    void discardTemporary();

    QString path_;
    QString temporaryPath_;
    QFile file_;
};
