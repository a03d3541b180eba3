#include "hourpipeline.h"

#include <QThread>

namespace archive {

int hourThreads(int requested)
{
    const int wanted = requested > 0 ? requested : QThread::idealThreadCount();
    return std::clamp(wanted, 1, kMaxHourThreads);
}

} // namespace archive
