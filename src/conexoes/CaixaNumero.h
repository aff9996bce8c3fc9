#pragma once

#include <QSpinBox>

// A spin box that lets any whole number be typed, even one out of its range, and brings it
// back into the range only when the box loses the focus (100 in a 1..40 box becomes 40, 0
// becomes 1). Enter does not correct the text: it goes on to the form, whose default button
// reads the number as typed (ValorDigitado).
class CaixaNumero : public QSpinBox {
    Q_OBJECT
public:
    explicit CaixaNumero(QWidget* pai = nullptr);

    // The number in the box's text as it stands; a text that is not a whole number counts as
    // the minimum.
    int ValorDigitado() const;

protected:
    QValidator::State validate(QString& texto, int& posicao) const override;
    void fixup(QString& texto) const override;
    void keyPressEvent(QKeyEvent* evento) override;
};
