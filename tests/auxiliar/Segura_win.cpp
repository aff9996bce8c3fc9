#include "Segura.h"

#include <QDir>
#include <windows.h>

bool SeguraArquivo(const QString& caminho, bool outrosEscrevem) {
    const std::wstring nome = QDir::toNativeSeparators(caminho).toStdWString();
    const DWORD compartilha = FILE_SHARE_READ | (outrosEscrevem ? FILE_SHARE_WRITE : 0);
    // Kept open on purpose: the handle closes when the process ends.
    return CreateFileW(nome.c_str(), GENERIC_READ, compartilha, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr) != INVALID_HANDLE_VALUE;
}
