#include "conexoes/CaixaNumero.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace {

// Up to 9 digits, so that every text the box accepts is a number that fits in an int.
constexpr int kMaximoDigitos = 9;

bool Numero(const QString& texto, qint64* valor) {
    const QString t = texto.trimmed();
    const int inicio = t.startsWith(u'-') || t.startsWith(u'+') ? 1 : 0;
    if (t.size() <= inicio || t.size() - inicio > kMaximoDigitos)
        return false;
    for (int i = inicio; i < t.size(); ++i) {
        if (t[i] < u'0' || t[i] > u'9')
            return false;
    }
    bool ok = false;
    *valor = t.toLongLong(&ok);
    return ok;
}

} // namespace

CaixaNumero::CaixaNumero(QWidget* pai) : QSpinBox(pai) {}

int CaixaNumero::ValorDigitado() const {
    qint64 v = 0;
    if (!Numero(lineEdit()->text(), &v))
        return minimum();
    return static_cast<int>(v);
}

QValidator::State CaixaNumero::validate(QString& texto, int& posicao) const {
    Q_UNUSED(posicao);
    const QString t = texto.trimmed();
    if (t.isEmpty() || t == u"-" || t == u"+")
        return QValidator::Intermediate;
    qint64 v = 0;
    if (!Numero(t, &v))
        return QValidator::Invalid;
    return v >= minimum() && v <= maximum() ? QValidator::Acceptable : QValidator::Intermediate;
}

void CaixaNumero::fixup(QString& texto) const {
    qint64 v = 0;
    if (!Numero(texto, &v))
        return; // left as it is: the box goes back to its previous value
    texto = QString::number(qBound(qint64(minimum()), v, qint64(maximum())));
}

void CaixaNumero::keyPressEvent(QKeyEvent* evento) {
    if (evento->key() == Qt::Key_Return || evento->key() == Qt::Key_Enter) {
        evento->ignore();
        return;
    }
    QSpinBox::keyPressEvent(evento);
}
