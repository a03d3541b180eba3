#ifndef BACKGROUNDJOB_H
#define BACKGROUNDJOB_H

#include <QFutureWatcher>
#include <QObject>
#include <QtConcurrent>

#include <atomic>
#include <functional>
#include <memory>

// A job of the window's that runs beside the worker's operations on the
// thread pool, one at a time, where only the latest one asked for matters:
// a job asked for while one runs stops that one and starts when it ends;
// of several asked for meanwhile only the last starts. The result of a job
// reaches `done` on the owner's thread, unless a newer one was asked for or
// the jobs were stopped after it began.
template <typename Result> class BackgroundJob
{
public:
    // The job; it returns soon after `stop` is set.
    using Job = std::function<Result(const std::atomic<bool> &stop)>;

    BackgroundJob(QObject *owner, std::function<void(const Result &)> done)
        : watcher(new QFutureWatcher<Result>(owner)), done(std::move(done))
    {
        QObject::connect(watcher, &QFutureWatcherBase::finished, owner, [this] { ended(); });
    }
    // Waits for the running job: it may read what the owner is about to free.
    ~BackgroundJob()
    {
        stop();
        watcher->waitForFinished();
        QObject::disconnect(watcher, nullptr, nullptr, nullptr);
    }
    BackgroundJob(const BackgroundJob &) = delete;
    BackgroundJob &operator=(const BackgroundJob &) = delete;

    void start(Job job)
    {
        next = std::move(job);
        if (busy())
            running->store(true);
        else
            startNext();
    }
    // Stops the running job and drops the one waiting; nothing is told.
    void stop()
    {
        next = nullptr;
        if (running)
            running->store(true);
    }
    bool busy() const { return watcher->isRunning(); }

private:
    void startNext()
    {
        if (!next)
            return;
        running = std::make_shared<std::atomic<bool>>(false);
        Job job = std::move(next);
        next = nullptr;
        const std::shared_ptr<std::atomic<bool>> flag = running;
        watcher->setFuture(QtConcurrent::run([job, flag] { return job(*flag); }));
    }
    void ended()
    {
        // A job stopped, or outdated by the one waiting, says nothing.
        const bool told = running && !running->load() && !next;
        if (told)
            done(watcher->result());
        startNext();
    }

    QFutureWatcher<Result> *watcher;
    std::function<void(const Result &)> done;
    std::shared_ptr<std::atomic<bool>> running;
    Job next;
};

#endif // BACKGROUNDJOB_H
