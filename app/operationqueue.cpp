#include "operationqueue.h"

#include "archworker.h"

#include <QThread>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace {

// Each operation's worker slot and the window's finish slot for it.
struct Handover
{
    const char *workerSlot;
    const char *finishSlot;
};

Handover handoverOf(OperationQueue::Operation operation)
{
    switch (operation) {
    case OperationQueue::Operation::Load:
        return {SLOT(run()), SLOT(endLoad())};
    case OperationQueue::Operation::Export:
        return {SLOT(copyArchive()), SLOT(endCopy())};
    case OperationQueue::Operation::Repair:
        return {SLOT(fixArchive()), SLOT(endFix())};
    case OperationQueue::Operation::None:
        break;
    }
    return {nullptr, nullptr};
}

// A period too long for 32 bits must stay too long, so that the load refuses
// it, instead of wrapping round into some other, shorter period.
int saturatedSecs(qint64 secs)
{
    return int(qBound(qint64(std::numeric_limits<int>::min()), secs,
                      qint64(std::numeric_limits<int>::max())));
}

} // namespace

OperationQueue::OperationQueue(cArchWorker *worker, QThread *thread, QObject *window)
    : worker(worker), thread(thread), window(window)
{
}

void OperationQueue::submit(const Request &request)
{
    if (request.dir.isEmpty() || request.operation == Operation::None)
        return;
    if (running() == Operation::None) {
        begin(request);
        return;
    }
    const auto sameKind = std::find_if(waiting.begin(), waiting.end(), [&](const Request &r) {
        return r.operation == request.operation;
    });
    if (sameKind != waiting.end())
        waiting.erase(sameKind);
    waiting.append(request);
}

void OperationQueue::begin(const Request &request)
{
    // After an operation the worker's finished() has already reached the
    // thread's quit(), but the thread may still be winding down, and start()
    // on a running thread does nothing. Waiting here is brief and makes sure
    // the operation really runs, on a worker that is idle.
    thread->wait();
    current = request;
    worker->stopRequested = false;
    writeInputs(request);
    const Handover handover = handoverOf(request.operation);
    QObject::connect(thread, SIGNAL(started()), worker, handover.workerSlot);
    QObject::connect(worker, SIGNAL(finished()), window, handover.finishSlot);
    if (began)
        began(request);
    ++begun;
    const int wait = headStart && request.operation == Operation::Load ? headStart(request) : 0;
    if (wait <= 0) {
        thread->start(QThread::LowestPriority);
        return;
    }
    held = true;
    const quint64 which = begun;
    QTimer::singleShot(wait, window, [this, which] {
        if (which == begun)
            release();
    });
}

void OperationQueue::release()
{
    if (!held)
        return;
    held = false;
    // The load measures its period from the present: from now, as if it
    // had begun now.
    if (current.operation == Operation::Load)
        worker->endOffsetSecs = saturatedSecs(current.end.secsTo(QDateTime::currentDateTime()));
    thread->start(QThread::LowestPriority);
}

void OperationQueue::writeInputs(const Request &request)
{
    switch (request.operation) {
    case Operation::Load:
        // A directory that is not there must not leave the worker on the
        // one loaded before, drawn under the new name: the load is told the
        // path asked for and names it as missing.
        if (!worker->setPath(request.dir))
            worker->archivePath = request.dir + QLatin1Char('/');
        worker->periodSecs = saturatedSecs(request.begin.secsTo(request.end));
        worker->endOffsetSecs = saturatedSecs(request.end.secsTo(QDateTime::currentDateTime()));
        break;
    case Operation::Export:
        worker->exportSourceDir = request.dir + QLatin1Char('/');
        worker->exportTargetDir = request.dir + QLatin1Char('/');
        worker->setExportPeriod(request.begin, request.end);
        break;
    case Operation::Repair:
        worker->setPath(request.dir);
        break;
    case Operation::None:
        break;
    }
}

OperationQueue::Request OperationQueue::finish()
{
    // A finish slot removes every connection of its operation, so that
    // the next one starts clean.
    const Handover handover = handoverOf(current.operation);
    if (handover.workerSlot) {
        QObject::disconnect(thread, SIGNAL(started()), worker, handover.workerSlot);
        QObject::disconnect(worker, SIGNAL(finished()), window, handover.finishSlot);
    }
    const Request finished = current;
    current = Request();
    return finished;
}

void OperationQueue::startNext()
{
    if (waiting.isEmpty() || running() != Operation::None)
        return;
    begin(waiting.takeFirst());
}

OperationQueue::Stopped OperationQueue::stop()
{
    Stopped stopped;
    stopped.loadDropped = std::any_of(waiting.cbegin(), waiting.cend(), [](const Request &request) {
        return request.operation == Operation::Load;
    });
    waiting.clear();
    if (running() == Operation::Load || running() == Operation::Export) {
        worker->stopRequested = true;
        stopped.stopping = true;
        release();
    }
    return stopped;
}

void OperationQueue::shutDown()
{
    // An export drops the CSV it was writing, a repair ends between two
    // files, each of which is replaced whole. The event loop no longer
    // runs, so the thread is told to quit here instead of through the
    // worker's finished().
    waiting.clear();
    held = false;
    worker->stopRequested = true;
    QObject::disconnect(worker, SIGNAL(finished()), window, nullptr);
    thread->quit();
    thread->wait();
}
