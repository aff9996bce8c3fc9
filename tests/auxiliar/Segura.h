#pragma once

#include <QString>

// Opens a file for reading and keeps it open until the process ends. On Windows the handle
// never shares deletion (so the file cannot be renamed over or deleted meanwhile) and shares
// writing only when outrosEscrevem; elsewhere a plain read-only descriptor.
bool SeguraArquivo(const QString& caminho, bool outrosEscrevem);
