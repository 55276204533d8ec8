#pragma once

// Replacing a file on disk without ever losing it: the new contents go to a temporary file in
// the same folder, are flushed to the disk, and only then renamed over the original.

#include <QByteArray>
#include <QString>

#include <functional>

namespace store {

// The prefix of the temporary files of a save in progress: ".~<file name>.salvataggio-".
QString saveTempPrefix(const QString &fileName);

// Writes `bytes` as the new contents of `path` atomically: temporary file in the folder of
// the real file (a symbolic link stays a link and its target is replaced), flush and fsync,
// the original's permissions, rename, fsync of the folder. Any failure removes the temporary
// file, leaves the original untouched and throws StoreError(Io) ("Impossibile salvare ...",
// with the system's reason as detail).
void writeFileAtomically(const QString &path, const QByteArray &bytes);

// Removes the temporary files that an interrupted save of `path` left behind; returns how
// many were removed.
int removeLeftoverSaveFiles(const QString &path);

// The largest file the engine reads.
constexpr qint64 kMaxFileSize = qint64(1) << 30;

// The whole file behind an open descriptor, read from its start without moving its offset
// (at most `limit` bytes). Throws StoreError(Io) when the system refuses the read,
// StoreError(Limit) when the file is larger.
QByteArray readDescriptor(int fd, const QString &path, qint64 limit = kMaxFileSize);
// The whole file at `path`, as readDescriptor reads it; StoreError(Io) also when it cannot
// be opened.
QByteArray readWholeFile(const QString &path);

// The folder a save keeps the replaced versions in: "Backup" beside the real file.
QString backupFolder(const QString &path);
// Before a save replaces `path`, keeps the file as it is now in backupFolder(path), named
// "<stem>-dd-MM-yyyy-HH.mm.ss<.suffix>" after its own modification time ("-2" and so on when
// taken): a hard link where the file system has them (it costs nothing and the bytes stay
// exactly as they were, encrypted as they were), a copy elsewhere. Then only the newest
// `keep` versions are kept. Returns the kept version's path, empty when there is no file yet.
// Throws StoreError(Io) when the version cannot be kept; the file itself is never touched.
QString keepBackup(const QString &path, int keep = 20);
// Leaves only the newest `keep` files of `folder` whose names match `pattern` (a wildcard),
// newest by modification time; returns how many were removed.
int keepNewest(const QString &folder, const QString &pattern, int keep);

// For tests: asked before each step of a save that reaches the disk ("create" for the
// temporary file, "write" for every chunk written, "fsync", "rename", "link" for the hard link of a backup); a non-zero answer fails that step with that error
// number (ENOSPC, EIO ...). An empty hook (the default) fails nothing.
void setSaveFaultHook(std::function<int(const char *step)> hook);

} // namespace store
