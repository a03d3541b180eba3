#include "startup.h"

#include "archformat.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

StartOptions parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Kestrova Archive Viewer: plots, prints and exports to CSV the archive "
                       "of a multichannel data recorder."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("ARCHIVE_DIR"),
                                 QStringLiteral("Archive directory to open (default: ./archive)."),
                                 QStringLiteral("[ARCHIVE_DIR]"));

    StartOptions options;
    auto fail = [&options](const QString &message) {
        options.start = false;
        options.exitCode = 2;
        options.error = QStringLiteral("kestrova-viewer: %1\n").arg(message);
        return options;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        options.start = false;
        options.output = parser.helpText();
        return options;
    }
    if (parser.isSet(version)) {
        options.start = false;
        options.output = QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                       QCoreApplication::applicationVersion());
        return options;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return fail(QStringLiteral("only one archive directory can be given"));
    if (positional.size() == 1) {
        const QString dir = positional.first();
        if (dir.isEmpty() || !QFileInfo(dir).isDir())
            return fail(QStringLiteral("no such archive directory: %1").arg(dir));
        // The window keeps its directory without a trailing "/".
        options.archiveDir = QDir::cleanPath(dir);
    }
    return options;
}

bool installQtTranslations(QCoreApplication &app)
{
    // Debian keeps them per Qt version: qttranslations5-l10n for Qt 5,
    // qt6-translations-l10n for Qt 6, each under its Qt's own path.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
    const QString dir = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
    auto *translator = new QTranslator(&app);
    if (!translator->load(archive::russianLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                          dir)) {
        delete translator;
        return false;
    }
    return app.installTranslator(translator);
}

QSize windowSizeFor(const QSize &formSize, const QRect &available, bool *fits)
{
    const bool roomy = available.isEmpty() || (formSize.width() <= available.width() &&
                                               formSize.height() <= available.height());
    if (fits)
        *fits = roomy;
    return roomy ? formSize : formSize.boundedTo(available.size());
}

QString startArchiveDir(const QString &argument, const QString &lastUsed,
                        const std::function<bool(const QString &)> &isDir)
{
    const QString fallback = QStringLiteral("./archive");
    if (!argument.isEmpty())
        return argument;
    if (isDir(fallback) || lastUsed.isEmpty() || !isDir(lastUsed))
        return fallback;
    return lastUsed;
}

FirstWindow firstWindowFor(const QSize &formSize, const QRect &available)
{
    FirstWindow first;
    bool fits = true;
    first.size = windowSizeFor(formSize, available, &fits);
    const bool roomy = !available.isEmpty() && available.width() > 1.5 * formSize.width() &&
                       available.height() > 1.5 * formSize.height();
    first.maximised = !fits || roomy;
    return first;
}

QRect restoredGeometry(const QRect &saved, const QRect &available)
{
    if (!saved.isValid() || available.isEmpty() || available.contains(saved))
        return saved;
    QRect placed(saved.topLeft(), saved.size().boundedTo(available.size()));
    placed.moveLeft(
        qBound(available.left(), placed.left(), available.right() - placed.width() + 1));
    placed.moveTop(qBound(available.top(), placed.top(), available.bottom() - placed.height() + 1));
    return placed;
}
