#include "common/Tipografia.h"

#include <QFontDatabase>
#include <QWidget>
#include <algorithm>

QStringList FamiliasPreferidas(Tipografia tipografia) {
    // After the family the forms were drawn with, the ones of the same widths first.
    switch (tipografia) {
    case Tipografia::Arial:
        return {QStringLiteral("Arial"),      QStringLiteral("Liberation Sans"),
                QStringLiteral("Arimo"),      QStringLiteral("Microsoft Sans Serif"),
                QStringLiteral("Tahoma"),     QStringLiteral("Segoe UI"),
                QStringLiteral("DejaVu Sans")};
    case Tipografia::Interface:
        break;
    }
    return {QStringLiteral("MS Sans Serif"),   QStringLiteral("Microsoft Sans Serif"),
            QStringLiteral("Tahoma"),          QStringLiteral("Segoe UI"),
            QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")};
}

QString EscolheFamilia(const QStringList& preferidas) {
    const QStringList existentes = QFontDatabase::families();
    for (const QString& familia : preferidas) {
        // The database's own spelling ("Tahoma" for "tahoma").
        const auto achada =
            std::find_if(existentes.begin(), existentes.end(), [&](const QString& e) {
                return e.compare(familia, Qt::CaseInsensitive) == 0;
            });
        if (achada != existentes.end() && QFontDatabase::isSmoothlyScalable(*achada))
            return *achada;
    }
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

QString FamiliaDe(Tipografia tipografia) {
    static const QString interface = EscolheFamilia(FamiliasPreferidas(Tipografia::Interface));
    static const QString arial = EscolheFamilia(FamiliasPreferidas(Tipografia::Arial));
    return tipografia == Tipografia::Arial ? arial : interface;
}

QFont FonteDe(Tipografia tipografia, int pixels, bool negrito) {
    QFont f(FamiliaDe(tipografia));
    f.setPixelSize(pixels);
    f.setBold(negrito);
    return f;
}

void AplicaTipografia(QWidget* janela) {
    const QString interface = FamiliaDe(Tipografia::Interface);
    const QString arial = FamiliaDe(Tipografia::Arial);
    const auto troca = [&](QWidget* w) {
        QFont f = w->font();
        if (f.family() == interface || f.family() == arial)
            return; // chosen already, or inherits a chosen one
        f.setFamily(f.family().compare(QLatin1String("Arial"), Qt::CaseInsensitive) == 0
                        ? arial
                        : interface);
        w->setFont(f);
    };
    // Parents before their children, so that a child that inherits its font is found with the
    // chosen family already. Every widget is looked at, not only those with a font of their
    // own: one with a style sheet took its parent's font, family and all, when the sheet was set.
    troca(janela);
    for (QWidget* w : janela->findChildren<QWidget*>())
        if (!w->isWindow())
            troca(w);
}
