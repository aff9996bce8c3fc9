#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Text rules shared by the whole program.

// Upper-cases the ASCII letters a-z only; every other character (accented letters
// included) stays as it is: "Cartório" becomes "CARTóRIO".
QString MaiusculasAscii(QStringView texto);

// Removes the characters of code 32 or less (blank, tab, CR, LF, 0x1A...) at both ends.
QString Apara(QStringView texto);
QByteArrayView Apara(QByteArrayView bytes);

// Windows-1252 <-> Unicode, by a table of our own. Bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D,
// which name no character, map to U+0081... and back, so every byte survives a round trip.
// A character with no Windows-1252 byte is written as '?'.
QString DeWindows1252(QByteArrayView bytes);
QByteArray ParaWindows1252(QStringView texto);
// The first character of `texto` that has no Windows-1252 byte (a surrogate pair is one
// character), or an empty text when every one has one.
QString ForaDoWindows1252(QStringView texto);

// Compares two byte strings ignoring the case of the ASCII letters only.
bool IguaisSemCaixaAscii(QByteArrayView a, QByteArrayView b);
