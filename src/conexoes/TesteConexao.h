#pragma once

#include "conexoes/EcoIcmp.h"
#include "conexoes/SondaPorta.h"
#include "conexoes/VerificaBanco.h"

#include <QDialog>
#include <QPointer>
#include <memory>
#include <optional>

namespace Ui {
class TFrmTesteConexao;
}

// The connectivity test: ICMP echo requests to a host, one line per attempt. Closing the
// window only hides it; the sequence counter lives as long as the form.
class TFrmTesteConexao : public QDialog {
    Q_OBJECT
public:
    explicit TFrmTesteConexao(QWidget* owner = nullptr);
    ~TFrmTesteConexao() override;

    // What the opener fills in before showing the form.
    void DefineHost(const QString& host);

    // After each run the form tries this TCP port of the host (the Firebird server's) and adds
    // a line saying whether it takes a connection: ICMP is often blocked where the database
    // server answers. 0: no such line.
    quint16 PortaBanco = kPortaFirebird;

    // Then it attaches to the database the suite's modules open: the section `secao` of the
    // dbExpress file `arquivoDbx` (DBXCONNECTIONS.INI) names it and its user. Without a file
    // there are no database lines.
    void DefineBanco(const QString& arquivoDbx, const QString& secao);
    // Seconds the attach waits for the server to take the connection.
    int TempoLimiteBancoS = 5;

public Q_SLOTS:
    void btnPingClick();

private:
    void ICMPReply(const Icmp::RespostaEco& resposta);
    void SondaPortaBanco();
    // `porta`: what the port line said about `hostPorta`, when there was a probe.
    void VerificaBanco(const QString& hostPorta, std::optional<SondaPorta::Resultado> porta);
    void AdicionaLinhas(const QStringList& linhas);

    std::unique_ptr<Ui::TFrmTesteConexao> ui;
    Icmp::ClienteEcoIcmp ICMP;
    QPointer<SondaPorta> sonda_;
    QString arquivoDbx_;
    QString secaoDbx_;
    int execucao_ = 0; // runs so far: an answer of an earlier run is dropped
};

// One line of the list: "%d bytes from %s: icmp_seq=%d ttl=%d time%s%d ms", the time marker
// being "=" followed by the time, or "<1" alone when the time is 0; an answer that is not an
// echo reply ends in its cause, e.g. " (destino inalcançável)".
QString FormataLinhaResposta(const Icmp::RespostaEco& resposta);

// The form while it exists (created by the settings panel).
extern TFrmTesteConexao* FrmTesteConexao;
