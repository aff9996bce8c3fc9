#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

class QWidget;

// The typefaces of the forms. Each is a list of families in order of preference that ends in
// families every platform ships (Windows: Microsoft Sans Serif, Tahoma, Segoe UI; Linux:
// Liberation Sans, DejaVu Sans). A family the system lacks is never handed to Qt by name: Qt
// would fall back to whatever its font database lists first (under Wine without Windows fonts,
// a math font whose glyphs an edit field does not draw; with Wine's own fonts, Courier).
enum class Tipografia {
    Interface, // the forms' "MS Sans Serif"
    Arial,     // the captions drawn in "Arial"
};

QStringList FamiliasPreferidas(Tipografia tipografia);

// The first family of `preferidas` that this system has and can draw at any size (a bitmap
// face, as Windows' own "MS Sans Serif" is, has a few sizes and none for 150 %); the system's
// general font's family when none is there.
QString EscolheFamilia(const QStringList& preferidas);

// EscolheFamilia of the typeface's list, chosen once per run.
QString FamiliaDe(Tipografia tipografia);

// A font of the typeface, its size in pixels.
QFont FonteDe(Tipografia tipografia, int pixels, bool negrito = false);

// Gives a window, and every widget under it that asks for a font of its own, the family chosen
// for what it asks ("Arial" for Arial, anything else for the interface's), keeping sizes and
// styles. Each form calls it once its controls exist.
void AplicaTipografia(QWidget* janela);
