#include "Segura.h"

#include <QFile>
#include <fcntl.h>

bool SeguraArquivo(const QString& caminho, bool /*outrosEscrevem*/) {
    // Kept open on purpose: the descriptor closes when the process ends.
    return ::open(QFile::encodeName(caminho).constData(), O_RDONLY | O_CLOEXEC) >= 0;
}
