// Writes the seed corpus of every fuzz target, made by our own encoder:
//   fuzz-seeds DIR   creates DIR/<target>/seed-NN for each target.
#include "fuzzbodies.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        std::fputs("usage: fuzz-seeds DIR\n", stderr);
        return 2;
    }
    for (const fuzzing::Target &target : fuzzing::targets()) {
        const QString dir = args.at(1) + QLatin1Char('/') + QLatin1String(target.name);
        if (!QDir().mkpath(dir))
            return 1;
        const QList<QByteArray> inputs = fuzzing::seeds(QLatin1String(target.name));
        for (int i = 0; i < inputs.size(); ++i) {
            QFile file(dir + QStringLiteral("/seed-%1").arg(i, 2, 10, QLatin1Char('0')));
            if (!file.open(QIODevice::WriteOnly) || file.write(inputs.at(i)) != inputs.at(i).size())
                return 1;
        }
        std::printf("%s: %d seeds\n", target.name, int(inputs.size()));
    }
    return 0;
}
