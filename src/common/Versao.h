#pragma once

#include "common/Plataforma.h"

#include <QString>

// The program's own version, as the windows show it. Both read the fixed version block of
// the running executable's file at each call; nothing is cached.

// Main window format: major, minor and release are the text of (number + 100) from its third
// character, at most two characters (3 -> "3", 12 -> "2", 900 -> "00"); the build is the text
// of (build + 100) from its second character, at most two (0 -> "00", 123 -> "23").
QString FormataVersaoPrincipal(const Plataforma::Versao& versao);

// Settings panel format: the four numbers in plain decimal, joined by dots.
QString FormataVersaoSimples(const Plataforma::Versao& versao);

// The version of the executable at caminho in the main window format; "0.0.0.00" when the file
// has no readable version block (the same zeros as the plain format's "0.0.0.0").
QString VersaoPrincipalDoArquivo(const QString& caminho);
// The same in the plain format; "0.0.0.0" when the file has no readable version block.
QString VersaoSimplesDoArquivo(const QString& caminho);

// The running executable's version in the plain format (the settings panel's label).
QString VersaoDoArquivo();
