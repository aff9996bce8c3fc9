#include "menu/FerramentasSuporte.h"

#include "common/Configuracao.h"
#include "common/Edicao.h"
#include "common/Mensagem.h"
#include "common/Plataforma.h"
#include "menu/Progresso.h"
#include "menu/ThDownload.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

namespace FerramentasSuporte {

namespace {

const QString kTitulo = QStringLiteral("VELTO");

bool baixando = false;
ContaFtp contaDefinida;

void Fecha(QDialog* painel) {
    if (painel)
        painel->close();
}

// Fetches `arquivo` from the support server's `pasta` into `local`, showing the progress
// window, while the interface goes on. True when the file is in place; on a failure the
// warning has been shown, on a cancel nothing is.
bool Baixa(QDialog* painel, const QString& pasta, const QString& arquivo, const QString& local) {
    const ContaFtp servidor = contaDefinida.host.isEmpty() ? ContaPadrao() : contaDefinida;
    PedidoDownload pedido;
    pedido.host = servidor.host;
    pedido.porta = servidor.porta;
    pedido.usuario = servidor.usuario;
    pedido.senha = servidor.senha;
    pedido.pastaRemota = pasta;
    pedido.arquivoRemoto = arquivo;
    pedido.caminhoLocal = local;

    QPointer<Th_Download> th = CriaDownload(pedido);
    // Modal over every window: the panel keeps painting, but takes no click until the
    // download ends.
    QPointer<TFrmProgresso> progresso = new TFrmProgresso(arquivo, painel);
    progresso->setWindowModality(Qt::ApplicationModal);

    QEventLoop espera;
    bool terminou = false;
    FimDownload fim = FimDownload::Cancelado;
    QString erro;
    QObject::connect(th, &Th_Download::Terminado, &espera, [&](FimDownload f, const QString& e) {
        terminou = true;
        fim = f;
        erro = e;
        espera.quit();
    });
    QObject::connect(progresso, &TFrmProgresso::CancelarClick, th, &Th_Download::Cancela);
    // The user's Cancel is honoured also when the download ended meanwhile, its result still
    // on the way: nothing is started, nothing is reported.
    bool cancelou = false;
    QObject::connect(progresso, &TFrmProgresso::CancelarClick, &espera, [&] { cancelou = true; });
    QTimer relogio;
    QObject::connect(&relogio, &QTimer::timeout, &espera, [&] {
        if (progresso && th)
            progresso->Atualiza(th->Recebidos(), th->Tamanho());
    });
    relogio.start(200);
    th->start();
    progresso->show();
    // Also left when the program ends meanwhile: then the download just stops.
    espera.exec();
    relogio.stop();
    delete progresso;
    if (!terminou) {
        if (th)
            th->Cancela();
        return false;
    }
    if (cancelou)
        return false;
    if (fim == FimDownload::Falhou)
        MostraMensagem(QStringLiteral("Servidor de atualizações não disponível no momento.\r"
                                      "Verifique sua conexão com a internet ou tente mais "
                                      "tarde.\r\rMensagem recebida:\r") +
                           erro,
                       kTitulo, IconeMensagem::Aviso);
    return fim == FimDownload::Concluido;
}

// A program of the support server: started when present, fetched first when not.
void BaixaEInicia(QDialog* painel, const QString& pasta, const QString& arquivo,
                  const QString& local) {
    if (baixando)
        return;
    QPointer<QDialog> guarda(painel);
    if (!QFileInfo::exists(local)) {
        baixando = true;
        const bool baixou = Baixa(painel, pasta, arquivo, local);
        baixando = false;
        if (!baixou)
            return;
    }
    Plataforma::AbrePrograma(local);
    Fecha(guarda);
}

} // namespace

ContaFtp ContaPadrao() {
    return {Configuracao::ServidorSuporte(), Configuracao::PortaFtp(), QStringLiteral("supvestra"),
            QStringLiteral("K7wR4#")};
}

void DefineConta(const ContaFtp& conta) {
    contaDefinida = conta;
}

bool DownloadEmAndamento() {
    return baixando;
}

QString TextoAtualizacao(const QString& nomePasta) {
    return QStringLiteral("Atualização do Gerenciador.\rVocê deve estar conectado na internet.\r"
                          "Quando aparecer uma tela de download, clique no botão Salvar.\r\r"
                          "O local para salvar o arquivo será em:\r\r   Meu Computador\r"
                          "     Disco Local\r       VELTO\r           ") +
           nomePasta + QStringLiteral("\r\rVocê deverá substituir o arquivo existente.");
}

void Atualizar(QDialog* painel, const DadosInstalacao& instalacao) {
    if (baixando)
        return;
    if (MostraMensagem(TextoAtualizacao(instalacao.NomePasta), kTitulo, IconeMensagem::Informacao,
                       BotoesMensagem::OkCancelar) != RespostaMensagem::Ok)
        return;
    Plataforma::AbreNoSistema(Configuracao::UrlAtualizacao(), Plataforma::Exibicao::Maximizada);
    Fecha(painel);
    // The program ends the orderly way, so that its executable can be replaced.
    QCoreApplication::quit();
}

void CarregarBackup(QDialog* painel, const DadosInstalacao& instalacao) {
    if (baixando)
        return;
    // A missing program is not reported.
    Plataforma::AbrePrograma(instalacao.PastaPrograma + QStringLiteral("VELTOBackUp.exe"));
    Fecha(painel);
}

void AbrirSiteSuporte(QDialog* painel) {
    if (baixando)
        return;
    Plataforma::AbreNoSistema(Configuracao::UrlSuporte(), Plataforma::Exibicao::Maximizada);
    Fecha(painel);
}

void SuporteRemoto(QDialog* painel, const DadosInstalacao& instalacao) {
    BaixaEInicia(painel, QStringLiteral("/httpdocs/Programas/Assistencia_remota"),
                 QStringLiteral("Suporte_vestranox.exe"),
                 instalacao.PastaPrograma + QStringLiteral("Suporte_vestranox.exe"));
}

QString CaminhoIBExpert(const QString& pastaProgramas) {
    const QChar d = Plataforma::Delimitador();
    QString pasta = pastaProgramas;
    while (pasta.endsWith(d) || pasta.endsWith(u'/'))
        pasta.chop(1);
    return pasta + d + QStringLiteral("IBExpert") + d + QStringLiteral("ibexpert.exe");
}

void IBExpertEm(QDialog* painel, const QString& pastaProgramas) {
    if (baixando)
        return;
    const QString local = CaminhoIBExpert(pastaProgramas);
    if (!QFileInfo::exists(local)) {
        // One level; a refusal shows up as a failed download.
        QDir().mkdir(Plataforma::PastaDoCaminho(local));
    }
    BaixaEInicia(painel, QStringLiteral("/httpdocs/Programas/Ibexpert"),
                 QStringLiteral("ibexpert.exe"), local);
}

void IBExpert(QDialog* painel) {
    IBExpertEm(painel, Plataforma::CapturaPastaProgramas());
}

} // namespace FerramentasSuporte
