#ifndef IMAGES_H
#define IMAGES_H

#include <QString>

// Where to read one of the viewer's images from: the file of that name in
// the working directory when there is one, so that a site can replace an
// image, else the copy built into the program (":/images/<file name>").
QString imagePath(const QString &name);

#endif // IMAGES_H
