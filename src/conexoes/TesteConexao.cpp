#include "conexoes/TesteConexao.h"

#include "common/ClienteFirebird.h"
#include "common/Mensagem.h"
#include "common/Tipografia.h"
#include "ui_TesteConexao.h"

#include <QCoreApplication>
#include <QPointer>
#include <QScopeGuard>
#include <exception>

TFrmTesteConexao* FrmTesteConexao = nullptr;

QString FormataLinhaResposta(const Icmp::RespostaEco& r) {
    const QString tempo = r.tempoIdaVolta > 0
                              ? QStringLiteral("=") + QString::number(r.tempoIdaVolta)
                              : QStringLiteral("<1");
    QString linha = QStringLiteral("%1 bytes from %2: icmp_seq=%3 ttl=%4 time%5 ms")
                        .arg(r.bytesRecebidos)
                        .arg(QString::fromStdString(r.enderecoOrigem))
                        .arg(int(r.sequencia))
                        .arg(int(r.ttl))
                        .arg(tempo);
    // An answer that is not the host's echo (a router saying it cannot reach it) must not read
    // as one: its cause closes the line. A timeout's line (0 bytes from 0.0.0.0) speaks for
    // itself.
    switch (r.status) {
    case Icmp::StatusEco::Inalcancavel:
        linha += u" (destino inalcançável)"_qs;
        break;
    case Icmp::StatusEco::TtlExcedido:
        linha += u" (tempo de vida esgotado)"_qs;
        break;
    case Icmp::StatusEco::Erro:
        linha += u" (erro na resposta)"_qs;
        break;
    case Icmp::StatusEco::Eco:
    case Icmp::StatusEco::TempoEsgotado:
        break;
    }
    return linha;
}

TFrmTesteConexao::TFrmTesteConexao(QWidget* owner)
    : QDialog(owner), ui(std::make_unique<Ui::TFrmTesteConexao>()) {
    ui->setupUi(this);
    AplicaTipografia(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    connect(ui->btnPing, &QPushButton::clicked, this, &TFrmTesteConexao::btnPingClick);
    FrmTesteConexao = this;
}

TFrmTesteConexao::~TFrmTesteConexao() {
    if (FrmTesteConexao == this)
        FrmTesteConexao = nullptr;
}

void TFrmTesteConexao::DefineHost(const QString& host) {
    ui->edtHost->setText(host);
}

void TFrmTesteConexao::DefineBanco(const QString& arquivoDbx, const QString& secao) {
    arquivoDbx_ = arquivoDbx;
    secaoDbx_ = secao;
}

void TFrmTesteConexao::btnPingClick() {
    ++execucao_;
    ICMP.aoResponder = [this](const Icmp::RespostaEco& r) { ICMPReply(r); };
    ICMP.tempoLimiteMs = Icmp::kTempoLimitePadraoMs;
    ui->btnPing->setEnabled(false);
    // Once the run has ended, however it ends: whether the host's database port answers.
    const auto porta = qScopeGuard([this, vivo = QPointer(this), n = ui->spnPing->ValorDigitado()] {
        if (vivo && n > 0)
            SondaPortaBanco();
    });
    ICMP.host = ui->edtHost->text().toStdString();
    // The number as typed; more than the box allows is taken as its maximum, so that a long
    // number typed and confirmed with Enter cannot block the window for hours.
    const int tentativas = qMin(ui->spnPing->ValorDigitado(), ui->spnPing->maximum());

    const QPointer<TFrmTesteConexao> vivo(this);
    QString erro;
    try {
        for (int i = 0; i < tentativas; ++i) {
            ICMP.Ping();
            QCoreApplication::processEvents();
            if (!vivo)
                return;
        }
    } catch (const std::exception& e) {
        erro = QString::fromStdString(e.what());
    }
    // Usable again before the error is shown, not only once its box is closed.
    ui->btnPing->setEnabled(true);
    if (!erro.isEmpty())
        ExibeErroGeral(erro);
}

void TFrmTesteConexao::ICMPReply(const Icmp::RespostaEco& resposta) {
    AdicionaLinhas({FormataLinhaResposta(resposta)});
}

void TFrmTesteConexao::AdicionaLinhas(const QStringList& linhas) {
    ui->lstReplies->addItems(linhas);
    ui->lstReplies->scrollToBottom();
}

void TFrmTesteConexao::SondaPortaBanco() {
    // A probe still under way from an earlier run adds nothing.
    delete sonda_;
    const QString host = ui->edtHost->text();
    if (host.isEmpty() || PortaBanco == 0) {
        VerificaBanco(host, std::nullopt);
        return;
    }
    sonda_ = new SondaPorta(host, PortaBanco, kTempoLimitePortaMs, this);
    connect(sonda_, &SondaPorta::Terminou, this,
            [this, host, porta = PortaBanco](SondaPorta::Resultado r, qint64 ms) {
                sonda_->deleteLater();
                // During a later run the line would land among its replies; that run probes
                // again when it ends.
                if (!ui->btnPing->isEnabled())
                    return;
                const QString linha = FormataLinhaPorta(host, porta, r, ms);
                if (!linha.isEmpty())
                    AdicionaLinhas({linha});
                VerificaBanco(host, r);
            });
    sonda_->Inicia();
}

void TFrmTesteConexao::VerificaBanco(const QString& hostPorta,
                                     std::optional<SondaPorta::Resultado> porta) {
    if (arquivoDbx_.isEmpty())
        return;
    BancoDbx banco;
    if (const std::optional<CausaBanco> falta = LeBancoDbx(arquivoDbx_, secaoDbx_, &banco)) {
        AdicionaLinhas(FormataLinhasBanco({*falta}, banco, secaoDbx_));
        return;
    }
    // The port line already said that this very port does not take the connection.
    const EnderecoBanco destino = InterpretaDatabase(banco.database);
    const bool portaJaDita = porta && *porta != SondaPorta::Resultado::Aceita &&
                             *porta != SondaPorta::Resultado::HostDesconhecido &&
                             destino.porta == QString::number(PortaBanco) &&
                             destino.host.compare(hostPorta.trimmed(), Qt::CaseInsensitive) == 0;
    VerificaBancoEmSegundoPlano(
        banco, NomeBibliotecaClienteFirebird(), TempoLimiteBancoS, this,
        [this, banco, portaJaDita, execucao = execucao_](ResultadoBanco r) {
            if (execucao != execucao_)
                return;
            QStringList linhas;
            if (portaJaDita && r.causa == CausaBanco::ClienteAusente) {
                // The server's problem first: installing the client
                // alone would not be enough.
                ResultadoBanco servidor;
                servidor.causa = CausaBanco::PortaFechadaJaDita;
                linhas = FormataLinhasBanco(servidor, banco, secaoDbx_);
            }
            if (portaJaDita &&
                (r.causa == CausaBanco::PortaFechada || r.causa == CausaBanco::SemResposta))
                r.causa = CausaBanco::PortaFechadaJaDita;
            AdicionaLinhas(linhas + FormataLinhasBanco(r, banco, secaoDbx_));
        });
}
