#ifndef OPERATIONQUEUE_H
#define OPERATIONQUEUE_H

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

class QObject;
class QThread;
class cArchWorker;

// The hand-over of the window's background operations to the worker, one at
// a time: the worker's inputs are written while its thread is idle, the
// thread's started() is connected to the operation's worker slot and the
// worker's finished() to the window's finish slot for it, and the thread
// is started at the lowest priority. The finish slot hands the operation
// back with finish(), which removes both connections, and then starts
// what waits with startNext().
//
// Requests made while the worker is busy wait: at most one load and one
// export, a newer one of a kind taking the place of the waiting one, since
// it carries the directory and period asked for last. A repair is only
// asked for at start-up.
class OperationQueue
{
public:
    enum class Operation { None, Load, Export, Repair };

    // What an operation is asked to do, with the directory and period it
    // was asked for: a later change of the window's period (a cancelled
    // period dialog, say) must not alter a request that waits.
    struct Request
    {
        Operation operation = Operation::None;
        QString dir; // without a trailing "/"
        QDateTime begin;
        QDateTime end;
    };

    // `window` has the finish slots endLoad(), endCopy() and endFix().
    OperationQueue(cArchWorker *worker, QThread *thread, QObject *window);

    // Called as each operation begins, after its inputs are written and
    // before the thread starts: what the window shows while it runs.
    std::function<void(const Request &)> began;
    // Asked as a load begins: for how many milliseconds its thread waits,
    // so that the window's first picture of the period, which needs the
    // processors for a moment, comes before the load takes them all; 0
    // (or none) starts it at once. release() ends the wait early.
    std::function<int(const Request &)> headStart;
    void release();

    // Starts the request at once if the worker is idle, else lets it wait.
    // A request without a directory is dropped: it would reach the worker as
    // "/", and the load would read and the export write in the root.
    void submit(const Request &request);
    // The running operation has finished; returns its request.
    Request finish();
    // Starts the first request that waits, if the worker is idle.
    void startNext();
    // СТОП: drops what waits and asks a running load or export to stop at
    // its next hour file (the repair is brief and is not stopped). Says
    // whether a load was among the dropped and whether a stop was asked.
    struct Stopped
    {
        bool loadDropped = false;
        bool stopping = false;
    };
    Stopped stop();
    // The window closes: what waits is dropped, the running operation is
    // stopped at its next hour file, and the worker and its thread end.
    void shutDown();

    Operation running() const { return current.operation; }
    const Request &runningRequest() const { return current; }
    // Requests waiting, in the order they will run.
    const QList<Request> &pending() const { return waiting; }
    bool idle() const { return running() == Operation::None && waiting.isEmpty(); }

private:
    void begin(const Request &request);
    void writeInputs(const Request &request);

    cArchWorker *worker;
    QThread *thread;
    QObject *window;
    Request current;
    QList<Request> waiting;
    bool held = false; // the current operation's thread waits for release()
    quint64 begun = 0; // operations begun, to tell a held one's timer from the next's
};

#endif // OPERATIONQUEUE_H
