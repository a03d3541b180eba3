// The follow command: each record the recorder adds, as it adds it.

#include "commands.h"
#include "recordline.h"

#include "archformat.h"
#include "follower.h"
#include "hourwalk.h"

#include <QElapsedTimer>
#include <QThread>

#include <cstdio>


namespace {

// How often the archive is looked at: each look costs a stat of the hour
// file while nothing is written.
constexpr int kLookMs = 200;
constexpr int kMaxSeconds = 31536000;

} // namespace

int followCommand(const QStringList &args)
{
    // A mistake in follow's few arguments is answered with follow's own usage.
    const auto usage = [](const QString &message) {
        printError(message);
        const QByteArray text = commandUsageText(*findCommand(QStringLiteral("follow")));
        std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
        return int(ExitUsage);
    };
    if (args.isEmpty() || args.size() > 2)
        return usage(QStringLiteral("follow takes a directory and an optional number of seconds"));
    const QString dir = args.at(0);
    if (isOption(dir))
        return usage(QStringLiteral("unknown option: %1").arg(dir));
    qint64 limitMs = -1;
    if (args.size() == 2) {
        bool ok = false;
        const int seconds = args.at(1).toInt(&ok);
        if (!ok || seconds < 1 || seconds > kMaxSeconds)
            return usage(QStringLiteral("SECONDS is a whole number from 1 to %1").arg(kMaxSeconds));
        limitMs = qint64(seconds) * 1000;
    }
    const archive::DirState state = archive::archiveDirState(dir);
    if (state != archive::DirState::Present) {
        printError(state == archive::DirState::Unreadable
                       ? QStringLiteral("cannot read directory %1").arg(dir)
                       : QStringLiteral("no such directory: %1").arg(dir));
        return ExitFailure;
    }

    const archive::Progress progress = commandProgress("follow");
    QElapsedTimer clock;
    clock.start();
    archive::Follower follower(
        archive::followStartAtPresent(dir, QDateTime::currentMSecsSinceEpoch()));
    const QDateTime epoch = archive::archiveEpoch();
    qint64 printed = 0;
    for (;;) {
        const archive::FollowResult result = follower.poll();
        for (const ArchRecord &rec : result.records) {
            if (!printLine(recordLine(rec, epoch)))
                break;
            ++printed;
        }
        std::fflush(stdout);
        for (const archive::FollowEvent &event : result.events)
            printError(archive::followEventNote(event));
        if (result.stopped)
            return ExitFailure;
        // Waits in short steps, so that Ctrl+C and the end are not late.
        qint64 next = clock.elapsed() + (result.more ? 0 : kLookMs);
        for (;;) {
            if (progress.stopRequested()) {
                printError(QStringLiteral("interrupted after %1 records").arg(printed));
                return ExitInterrupted;
            }
            if (limitMs >= 0 && clock.elapsed() >= limitMs)
                return ExitOk;
            if (clock.elapsed() >= next)
                break;
            QThread::msleep(20);
        }
    }
}
