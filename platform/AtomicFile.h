#pragma once

#include <QByteArray>
#include <QString>

namespace tavix::files {

// Replaces the file at path with data so that a crash or a power cut at any
// moment leaves either the old content or the new one, never a mix: the
// data goes to a temporary file in the same folder, is flushed to the disk,
// then renamed over the target. Missing folders are made. Raises Error
// naming the file when any step fails; the target is then untouched.
void writeAtomically(const QString& path, const QByteArray& data);

// Moves a file aside under a new name in the same folder, never replacing
// an existing file (a number is added before the extension when the name is
// taken). Returns the new path; raises Error when it cannot.
QString setAside(const QString& path, const QString& newFileName);

}  // namespace tavix::files
