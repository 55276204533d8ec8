#pragma once

// Replacing a file on disk without ever losing it: the new contents go to a temporary file in
// the same folder, are flushed to the disk, and only then renamed over the original.

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>

namespace store {

// The prefix of the temporary files of a save in progress: ".~<file name>.salvataggio-".
QString saveTempPrefix(const QString &fileName);

// Writes `bytes` as the new contents of `path`, keeping the file's identity: its owner,
// group, mode, ACLs and extended attributes, its hard links, and a symbolic link stays a link
// (its target is replaced). Normally a temporary file in the folder of the real file is
// written, flushed, given the original's owner, mode and attributes, and renamed over it (the
// folder flushed too). Where such a rename cannot keep the identity (another user's file, a
// file with hard links, attributes the temporary file cannot take, a sticky folder, a folder
// that refuses new files) the file is saved in place: a copy of the old version first
// (Backup folder, else the system's temporary folder), then the new bytes written and flushed
// through the existing file, and on failure the old version written back. `heldFd`, when not
// -1, is a descriptor of the file opened for reading and writing (the one holding our lock):
// an in-place save goes through it, so that no other descriptor of the file is opened and
// closed. Any failure leaves the original's bytes and throws StoreError(Io) ("Impossibile
// salvare ...: <the cause in Italian>", the system's text as detail).
void writeFileAtomically(const QString &path, const QByteArray &bytes, int heldFd = -1);

// How the last writeFileAtomically() of this thread went: by rename, or in place.
enum class SaveMethod { Rename, InPlace };
SaveMethod lastSaveMethod();

// The Italian cause of a failed file operation ("il disco è pieno"); the system's own text
// when there is no better one.
QString italianCause(int err);

// Removes the temporary files that an interrupted save of `path` left behind; returns how
// many were removed.
int removeLeftoverSaveFiles(const QString &path);
// Files as versions in Backup (keepVersion, under the time of the version they hold) the
// copies of the old version that an in-place save cut off half-way left there; returns how
// many were filed. One that cannot be filed stays for the next call.
int fileLeftoverOriginals(const QString &path);

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

// One version of a file, read before a save replaces it.
struct FileVersion {
    bool exists = false;
    QByteArray bytes;
    qint64 modifiedNs = 0;   // its modification time, nanoseconds since the epoch
};
// The file as it is now, read through `fd` when not -1 (without moving its offset). Throws
// StoreError(Io) when it exists but cannot be read.
FileVersion currentVersion(const QString &path, int fd = -1);

// How many versions the Backup folder keeps: the newest kBackupsNewest, and beside them the
// newest version of each of the last kBackupDays days.
constexpr int kBackupsNewest = 20;
constexpr int kBackupDays = 30;

// After a save replaced `version` of `path`, keeps it in backupFolder(path) as
// "<stem>-dd-MM-yyyy-HH.mm.ss<.suffix>" (its own modification time, which the copy keeps;
// "-2" and so on when taken), unless a file there already holds the same bytes; then prunes
// the folder (pruneVersions). Returns the kept file, or the one that already held it; empty
// when the version did not exist. Throws StoreError(Io) when it cannot be kept.
QString keepVersion(const QString &path, const FileVersion &version, const QDateTime &now = {});
// Leaves in `folder`, of the files whose names match `pattern` (a wildcard), the newest
// `newest` by modification time and the newest of each day from `days` - 1 days before `now`
// up to `now`; returns how many were removed. `now` invalid: the current time.
int pruneVersions(const QString &folder, const QString &pattern, int newest, int days, const QDateTime &now = {});
// Leaves only the newest `keep` files of `folder` whose names match `pattern` (a wildcard),
// newest by modification time; returns how many were removed.
int keepNewest(const QString &folder, const QString &pattern, int keep);

// For tests: asked before each step of a save that reaches the disk ("create" for the
// temporary file, "write" for every chunk written, "fsync", "rename", "inplace" before an
// in-place save writes, "aside" for the copy of the old version an in-place save makes); a
// non-zero answer fails that step with that error number (ENOSPC, EIO ...). An empty hook
// (the default) fails nothing.
void setSaveFaultHook(std::function<int(const char *step)> hook);

} // namespace store
