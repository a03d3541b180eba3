#ifndef CP1251_H
#define CP1251_H

#include <QByteArray>
#include <QString>

namespace archive {

// windows-1251, the code page of the CSV files: the spreadsheet programs the
// operators open them with read it by default. A character the code page
// lacks is written as '?'.
QByteArray toWindows1251(const QString &text);
QString fromWindows1251(const QByteArray &bytes);

} // namespace archive

#endif // CP1251_H
