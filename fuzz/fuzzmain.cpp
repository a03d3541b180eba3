// The libFuzzer entry point of one target; FUZZ_TARGET names it.
#include "fuzzbodies.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const fuzzing::Body body = fuzzing::bodyFor(QStringLiteral(FUZZ_TARGET));
    if (!body)
        std::abort();
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                     int(size));
    const QString fault = body(input);
    if (!fault.isEmpty()) {
        std::fprintf(stderr, "fuzz_%s: %s\n", FUZZ_TARGET, qPrintable(fault));
        std::abort();
    }
    return 0;
}
