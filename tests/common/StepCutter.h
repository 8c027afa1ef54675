#pragma once

// Cuts the program off at one step of its durable file changes, as a crash
// or a power cut would there: that step and every later one throw Cut, so
// nothing after the cut reaches the disk. After a power cut, loseUnsynced()
// puts back what the disk would hold: writes not synced are lost, renames
// and removals whose folder was not synced are undone.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <optional>
#include <vector>

#include "platform/AtomicFile.h"

namespace tavix::test {

class StepCutter : public files::StepWatcher {
public:
    struct Cut {};

    // cutAt: the step (from 1) cut off; 0 counts the steps and cuts none.
    explicit StepCutter(int cutAt = 0) : cutAt_(cutAt) { files::setStepWatcher(this); }
    ~StepCutter() override { files::setStepWatcher(nullptr); }
    StepCutter(const StepCutter&) = delete;
    StepCutter& operator=(const StepCutter&) = delete;

    void before(files::Step step, const QString& path, const QString& newPath) override {
        if (cut_) throw Cut{};
        if (++count_ == cutAt_) {
            cut_ = true;
            throw Cut{};
        }
        Done done{step, path, newPath, {}};
        if (step == files::Step::Rename) done.before = content(newPath);
        if (step == files::Step::Remove) done.before = content(path);
        done_.push_back(std::move(done));
    }

    int steps() const { return count_; }
    bool cut() const { return cut_; }

    void loseUnsynced() {
        using files::Step;
        const auto durable = [&](size_t i) {
            const Done& d = done_[i];
            for (size_t j = i + 1; j < done_.size(); ++j) {
                const Done& later = done_[j];
                if (d.step == Step::Write && later.step == Step::Sync && later.path == d.path)
                    return true;
                if ((d.step == Step::Rename || d.step == Step::Remove) &&
                    later.step == Step::SyncFolder &&
                    later.path ==
                        QFileInfo(d.step == Step::Rename ? d.newPath : d.path).absolutePath())
                    return true;
            }
            return false;
        };
        std::vector<bool> kept(done_.size());
        for (size_t i = 0; i < done_.size(); ++i) kept[i] = durable(i);
        for (size_t i = done_.size(); i-- > 0;) {
            const Done& d = done_[i];
            if (kept[i]) continue;
            if (d.step == Step::Rename) {
                QFile::rename(d.newPath, d.path);
                restore(d.newPath, d.before);
            } else if (d.step == Step::Remove) {
                restore(d.path, d.before);
            }
        }
        // Data never synced is gone, wherever its file now stands.
        for (size_t i = 0; i < done_.size(); ++i) {
            if (done_[i].step != Step::Write || kept[i]) continue;
            QString where = done_[i].path;
            for (size_t j = i + 1; j < done_.size(); ++j)
                if (done_[j].step == Step::Rename && kept[j] && done_[j].path == where)
                    where = done_[j].newPath;
            QFile file(where);
            if (file.exists() && file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                file.close();
        }
        done_.clear();
    }

private:
    struct Done {
        files::Step step;
        QString path;
        QString newPath;
        std::optional<QByteArray> before;  // what a rename replaced or a removal took
    };

    static std::optional<QByteArray> content(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
        return file.readAll();
    }
    static void restore(const QString& path, const std::optional<QByteArray>& before) {
        if (!before) return;
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(*before);
    }

    int cutAt_;
    int count_ = 0;
    bool cut_ = false;
    std::vector<Done> done_;
};

}  // namespace tavix::test
