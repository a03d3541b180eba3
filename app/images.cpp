#include "images.h"

#include <QFileInfo>

static void registerImages()
{
    // The images live in a static library: without a call from code the
    // linker drops their registration.
    Q_INIT_RESOURCE(images);
}

QString imagePath(const QString &name)
{
    static const bool registered = (registerImages(), true);
    Q_UNUSED(registered);
    if (QFileInfo(name).isFile())
        return name;
    return QStringLiteral(":/images/") + QFileInfo(name).fileName();
}
