#ifndef HOURPIPELINE_H
#define HOURPIPELINE_H

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace archive {

// The most threads that work through hour files at once: past a few, the
// disk, not decoding, sets the pace, and each thread holds a few hours of
// decoded records.
constexpr int kMaxHourThreads = 8;

// The threads a pipeline runs for a caller that asked for `requested`
// (0: one per core), between 1 and kMaxHourThreads.
int hourThreads(int requested);

enum class PipelineEnd {
    Done,       // every item was produced and consumed
    Stopped,    // the consumer asked to stop; later items were dropped
    OutOfMemory // an allocation failed on some thread; later items were dropped
};

// Works through the hour files of a walk on up to N threads and hands them
// to the calling thread one at a time, in walk order: only the work on each
// file spreads out, everything that depends on order stays with the caller.
// A bounded number of files is in flight, so memory does not grow with the
// walk. With one thread, or when no thread can be started, the calling
// thread does it all; a thread that cannot be started shrinks the pool.
//
// Slot holds one file's result and is reused for file i + window; Local is
// what one thread keeps from one file to the next (a reader, buffers).
template <typename Slot, typename Local> class HourPipeline
{
public:
    HourPipeline(int items, int threads) : items(items), threads(std::max(1, threads))
    {
        // Two files per thread in flight keep every thread busy while the
        // caller takes one; more would only hold memory.
        inFlight.resize(size_t(this->threads > 1 ? 2 * this->threads : 1));
    }
    HourPipeline(const HourPipeline &) = delete;
    HourPipeline &operator=(const HourPipeline &) = delete;

    // produce(i, slot, local) fills the slot of item i on a worker thread;
    // consume(i, slot) takes the items in order on the calling thread and
    // returns false to stop. A std::bad_alloc on any thread ends the run.
    template <typename Produce, typename Consume> PipelineEnd run(Produce produce, Consume consume)
    {
        std::vector<std::thread> workers;
        if (threads > 1 && items > 1) {
            for (int t = 0; t < std::min(threads, items); ++t) {
                try {
                    workers.emplace_back([this, &produce] { work(produce); });
                } catch (...) {
                    break; // no more threads to be had: those running do it all
                }
            }
        }
        PipelineEnd end = PipelineEnd::Done;
        try {
            end = workers.empty() ? runHere(produce, consume) : merge(consume);
        } catch (const std::bad_alloc &) {
            end = PipelineEnd::OutOfMemory;
        }
        if (end != PipelineEnd::Done)
            abort(false);
        for (std::thread &worker : workers)
            worker.join();
        if (outOfMemory)
            end = PipelineEnd::OutOfMemory;
        return end;
    }

    // Runs step() for item i once every item before it has run its own, for
    // what must be decided in walk order while the files are being worked
    // on. Every item takes its turn once. Returns false, without running
    // the step, when the run is ending.
    template <typename Step> bool inTurn(int i, Step step)
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return turn == i || ending; });
        if (ending)
            return false;
        step();
        ++turn;
        lock.unlock();
        changed.notify_all();
        return true;
    }

    // Runs f() with the steps of inTurn held off, for the caller to change
    // what they read.
    template <typename F> void locked(F f)
    {
        std::lock_guard<std::mutex> lock(mutex);
        f();
    }

private:
    struct Entry
    {
        Slot slot;
        bool ready = false;
    };

    Entry &entryOf(int i) { return inFlight[size_t(i) % inFlight.size()]; }

    template <typename Produce, typename Consume> PipelineEnd runHere(Produce &produce, Consume &consume)
    {
        Local local;
        Slot &slot = inFlight[0].slot;
        for (int i = 0; i < items; ++i) {
            produce(i, slot, local);
            if (!consume(i, static_cast<const Slot &>(slot)))
                return PipelineEnd::Stopped;
        }
        return PipelineEnd::Done;
    }

    template <typename Consume> PipelineEnd merge(Consume &consume)
    {
        for (int i = 0; i < items; ++i) {
            Entry &entry = entryOf(i);
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return entry.ready || ending; });
                if (ending)
                    return PipelineEnd::OutOfMemory;
            }
            if (!consume(i, static_cast<const Slot &>(entry.slot)))
                return PipelineEnd::Stopped;
            {
                std::lock_guard<std::mutex> lock(mutex);
                entry.ready = false;
                merged = i + 1;
            }
            changed.notify_all();
        }
        return PipelineEnd::Done;
    }

    template <typename Produce> void work(Produce &produce)
    {
        try {
            Local local;
            const int window = int(inFlight.size());
            for (;;) {
                int i;
                {
                    std::unique_lock<std::mutex> lock(mutex);
                    // Item i may reuse the slot of item i - window only once
                    // the caller is done with that one.
                    changed.wait(lock, [&] { return ending || taken >= items || taken < merged + window; });
                    if (ending || taken >= items)
                        return;
                    i = taken++;
                }
                Entry &entry = entryOf(i);
                produce(i, entry.slot, local);
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    entry.ready = true;
                }
                changed.notify_all();
            }
        } catch (const std::bad_alloc &) {
            abort(true);
        }
    }

    void abort(bool memory)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ending = true;
            outOfMemory = outOfMemory || memory;
        }
        changed.notify_all();
    }

    const int items;
    const int threads;
    std::vector<Entry> inFlight;
    std::mutex mutex;
    std::condition_variable changed;
    int taken = 0;    // items handed to a worker
    int merged = 0;   // items the caller is done with
    int turn = 0;     // items that have run their step in turn
    bool ending = false;
    bool outOfMemory = false;
};

} // namespace archive

#endif // HOURPIPELINE_H
