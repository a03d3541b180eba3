// The libFuzzer entry point of one target; FUZZ_TARGET names it.
#include "fuzzbodies.h"

#include <cstdio>
#include <cstdlib>

// qUncompress and the data stream warn about every damaged input; millions
// of those lines would bury the fuzzer's own report.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
        if (type == QtFatalMsg) {
            std::fprintf(stderr, "%s\n", qPrintable(msg));
            std::abort();
        }
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const fuzzing::Body body = fuzzing::bodyFor(QStringLiteral(FUZZ_TARGET));
    if (!body)
        std::abort();
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const QString fault = body(input);
    if (!fault.isEmpty()) {
        std::fprintf(stderr, "fuzz_%s: %s\n", FUZZ_TARGET, qPrintable(fault));
        std::abort();
    }
    return 0;
}
