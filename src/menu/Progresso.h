#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QList>
#include <QPair>
#include <memory>

namespace Ui {
class TFrmProgresso;
}

// The small window shown while a support program downloads: the file's name, a bar, the
// bytes received (of the total, once the server has told it), the rate over the last seconds
// and "Cancelar". Cancelar, Esc and the close box all ask for the download to stop
// (CancelarClick); the opener closes the window when the download ends.
class TFrmProgresso : public QDialog {
    Q_OBJECT
public:
    explicit TFrmProgresso(const QString& arquivo, QWidget* owner = nullptr);
    ~TFrmProgresso() override;

    // One reading of the download: bytes received and the file's size (-1 while unknown).
    // The rate is worked out from the readings of the last two seconds.
    void Atualiza(qint64 recebidos, qint64 tamanho);

    // "1,5 MB", "820 KB", "12 bytes": sizes as the window writes them (units of 1024).
    static QString TextoTamanho(qint64 bytes);

Q_SIGNALS:
    void CancelarClick();

protected:
    void reject() override;
    void closeEvent(QCloseEvent* evento) override;

private:
    std::unique_ptr<Ui::TFrmProgresso> ui;
    QElapsedTimer relogio_;
    QList<QPair<qint64, qint64>> leituras_; // (ms, bytes) of the last seconds
    bool cancelado_ = false;
};
