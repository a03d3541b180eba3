#include "savefile.h"

namespace archive {

bool commitFully(QSaveFile &file)
{
    // Writing the tail out first makes its failure visible.
    if (!file.flush()) {
        file.cancelWriting();
        file.commit(); // now only discards the new file
        return false;
    }
    return file.commit();
}

} // namespace archive
