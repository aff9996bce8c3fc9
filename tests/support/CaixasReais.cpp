#include "support/CaixasReais.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

CaixasReais::CaixasReais() {
    connect(&timer_, &QTimer::timeout, this, &CaixasReais::Olha);
    timer_.start(10);
}

void CaixasReais::Olha() {
    auto* caixa = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!caixa || !caixa->isVisible() || caixa->property("respondida").toBool())
        return;
    caixa->setProperty("respondida", true);
    textos_.append(caixa->text());
    caixa->button(QMessageBox::Ok)->click();
}
