#include "data/engine/Background.h"

#include <QMetaObject>
#include <QObject>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "data/engine/Backend.h"
#include "data/engine/Connection.h"
#include "data/engine/ServerWait.h"

namespace tavix::db {

struct Background::Shared {
    struct Job {
        QString statement;  // empty: only connect
        Done done;
    };
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    std::atomic<bool> stop{false};
    std::atomic<int> pending{0};
    std::thread thread;
};

namespace {

void work(const std::shared_ptr<Background::Shared>& shared, const QString& source,
          QObject* replies) {
    setGiveUpFlag(&shared->stop);
    std::unique_ptr<detail::Backend> backend;
    for (;;) {
        Background::Shared::Job job;
        {
            std::unique_lock lock(shared->mutex);
            shared->wake.wait(lock, [&] { return shared->stop || !shared->jobs.empty(); });
            if (shared->stop) break;
            job = std::move(shared->jobs.front());
            shared->jobs.pop_front();
        }
        std::exception_ptr error;
        try {
            if (!backend) backend = detail::openBackend(source, 5000);
            if (!job.statement.isEmpty()) backend->execute(job.statement);
        } catch (const ServerUnreachable&) {
            // The next job connects anew.
            backend.reset();
            error = std::current_exception();
        } catch (const std::exception&) {
            error = std::current_exception();
        }
        if (shared->stop) break;
        QMetaObject::invokeMethod(
            replies,
            [shared, done = std::move(job.done), error] {
                --shared->pending;
                if (done) done(error);
            },
            Qt::QueuedConnection);
    }
    backend.reset();
    setGiveUpFlag(nullptr);
}

}  // namespace

Background::Background(QString source)
    : source_(std::move(source)),
      shared_(std::make_shared<Shared>()),
      replies_(std::make_unique<QObject>()) {
    shared_->thread = std::thread(work, shared_, source_, replies_.get());
}

Background::~Background() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stop = true;
    }
    shared_->wake.notify_all();
    // The worker gives up its wait on the network at once.
    shared_->thread.join();
}

void Background::execute(const QString& statement, Done done) {
    ++shared_->pending;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->jobs.push_back({statement, std::move(done)});
    }
    shared_->wake.notify_one();
}

void Background::reach(Done done) { execute(QString(), std::move(done)); }

int Background::pending() const { return shared_->pending; }

}  // namespace tavix::db
