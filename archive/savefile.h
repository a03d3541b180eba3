#ifndef SAVEFILE_H
#define SAVEFILE_H

#include <QSaveFile>

namespace archive {

// Commits a QSaveFile only when everything written has reached the new file;
// otherwise discards it, leaving the old file as it was and no temporary file
// beside it. Every file the programs write (hour files, CSV files, PDF
// pages) is committed through here: QSaveFile::commit() alone writes the
// buffered tail while closing and renames the new file over the old one even
// when that last write fails, so that on a full disk the operator's file
// would be replaced by a truncated one.
bool commitFully(QSaveFile &file);

} // namespace archive

#endif // SAVEFILE_H
