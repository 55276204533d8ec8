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

// For tests: asked before each step of a save that reaches the disk ("create" for the
// temporary file, "write" for every chunk written, "fsync", "rename"); a non-zero answer fails that step with that error
// number (ENOSPC, EIO ...). An empty hook (the default) fails nothing.
void setSaveFaultHook(std::function<int(const char *step)> hook);

} // namespace store
