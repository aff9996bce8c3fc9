#include "menu/Progresso.h"

#include "common/Tipografia.h"
#include "ui_Progresso.h"

#include <QCloseEvent>
#include <QLocale>

namespace {

const QLocale& Portugues() {
    static const QLocale local(QLocale::Portuguese, QLocale::Brazil);
    return local;
}

} // namespace

TFrmProgresso::TFrmProgresso(const QString& arquivo, QWidget* owner)
    : QDialog(owner), ui(std::make_unique<Ui::TFrmProgresso>()) {
    ui->setupUi(this);
    AplicaTipografia(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    ui->LblArquivo->setText(QStringLiteral("Baixando %1").arg(arquivo));
    connect(ui->BtnCancelar, &QPushButton::clicked, this, [this] { reject(); });
    relogio_.start();
}

TFrmProgresso::~TFrmProgresso() = default;

QString TFrmProgresso::TextoTamanho(qint64 bytes) {
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);
    return Portugues().formattedDataSize(bytes, bytes < 1024 * 1024 ? 0 : 1,
                                         QLocale::DataSizeTraditionalFormat);
}

void TFrmProgresso::Atualiza(qint64 recebidos, qint64 tamanho) {
    if (cancelado_)
        return;
    const qint64 agora = relogio_.elapsed();
    leituras_.append({agora, recebidos});
    while (leituras_.size() > 2 && leituras_.first().first < agora - 2000)
        leituras_.removeFirst();

    if (tamanho > 0) {
        // The bar counts in KB, so that files beyond 2 GB fit its int range.
        ui->PgBarra->setMaximum(int(tamanho / 1024) + 1);
        ui->PgBarra->setValue(int(qMin(recebidos, tamanho) / 1024));
    }
    if (recebidos == 0 && tamanho < 0)
        return; // still connecting
    ui->LblRecebidos->setText(
        tamanho > 0 ? QStringLiteral("%1 de %2").arg(TextoTamanho(recebidos), TextoTamanho(tamanho))
                    : TextoTamanho(recebidos));
    const qint64 ms = leituras_.last().first - leituras_.first().first;
    if (ms >= 250) {
        const qint64 taxa = (leituras_.last().second - leituras_.first().second) * 1000 / ms;
        ui->LblTaxa->setText(TextoTamanho(taxa) + QStringLiteral("/s"));
    }
}

void TFrmProgresso::reject() {
    // The window stays until the download has stopped; it goes with the download.
    if (!cancelado_) {
        cancelado_ = true;
        ui->BtnCancelar->setEnabled(false);
        ui->LblRecebidos->setText(QStringLiteral("Cancelando..."));
        Q_EMIT CancelarClick();
    }
}

void TFrmProgresso::closeEvent(QCloseEvent* evento) {
    evento->ignore();
    reject();
}
