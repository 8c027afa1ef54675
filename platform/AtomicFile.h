#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class QTemporaryFile;

namespace tavix::files {

// Replaces the file at path with data so that a crash or a power cut at any
// moment leaves either the old content or the new one, never a mix: the
// data goes to a temporary file in the same folder, is flushed to the disk,
// then renamed over the target, and the folder is flushed too. Missing
// folders are made. Raises Error naming the file when any step fails; the
// target is then untouched.
void writeAtomically(const QString& path, const QByteArray& data);

// A file's new content written beside it and flushed to the disk, not yet
// in place: put() renames it over the target; dropped without put(), it
// leaves the target as it was. For a file that must take its place only
// once something else is done (a number given for good in a database).
// Both raise Error naming the file.
class PreparedFile {
public:
    PreparedFile(const QString& path, const QByteArray& data);
    ~PreparedFile();
    PreparedFile(const PreparedFile&) = delete;
    PreparedFile& operator=(const PreparedFile&) = delete;
    void put();

private:
    QString path_;
    std::unique_ptr<QTemporaryFile> temp_;
};

// Moves a file aside under a new name in the same folder, never replacing
// an existing file (a number is added before the extension when the name is
// taken); the move is flushed to the disk. Returns the new path; raises
// Error when it cannot.
QString setAside(const QString& path, const QString& newFileName);

// Removes a file and flushes its folder, so that the removal survives a
// power cut. True when the file is gone, also when it never existed.
bool removeDurably(const QString& path);

// The steps every durable change of a file is made of, in the order they
// are taken. Commit is a database's own durable step, told by its caller.
enum class Step { Write, Sync, Rename, SyncFolder, Remove, Commit };

// Sees every step just before it is taken. A test cuts the program off at
// any step (a crash, or a power cut that loses what was not synced yet) by
// throwing from here.
class StepWatcher {
public:
    virtual ~StepWatcher() = default;
    // newPath: the target of a Rename, empty otherwise.
    virtual void before(Step step, const QString& path, const QString& newPath) = 0;
};
void setStepWatcher(StepWatcher* watcher);  // nullptr: none

// Tells the watcher, if any, of a step about to be taken.
void announce(Step step, const QString& path, const QString& newPath = {});

}  // namespace tavix::files
