#pragma once

#include "common/BibliotecaCurl.h"

#include <QString>
#include <QThread>
#include <atomic>

// What one download fetches and where it keeps it.
struct PedidoDownload {
    QString host;
    quint16 porta = 21;
    QString usuario;
    QString senha;
    QString pastaRemota;   // absolute, e.g. "/httpdocs/Programas/Ibexpert"
    QString arquivoRemoto; // e.g. "ibexpert.exe"
    QString caminhoLocal;  // where the program is kept
};

enum class FimDownload { Concluido, Falhou, Cancelado };

// One FTP download on a thread of its own, so that the interface never waits on the network:
// logged in with the account given, binary, active mode (PORT), one CWD to the absolute
// folder, then RETR.
//
// The file arrives in a temporary file beside the program's place and takes the program's
// name only once the transfer is complete and its size is the one the server announced (its
// answer to SIZE, asked just before RETR; more bytes than that stop the transfer): a download
// that breaks off, fails or is cancelled leaves nothing under that name (and no temporary file
// either).
//
// Time limits: 120 seconds to connect; no read time-out of its own, but a transfer that
// receives nothing at all for 120 seconds is given up (a connection that died without
// closing, as behind a NAT that forgot it, would otherwise wait for ever; a slow line that
// still delivers is never cut). Cancela() stops it at any moment, within about a second also
// while libcurl waits inside a call for the server's reply.
//
// The result comes once, through the queued signal Terminado, before the connection is
// closed. The thread frees itself when it ends; the application object, its parent, stops and
// joins it when the program ends first.
class Th_Download : public QThread {
    Q_OBJECT
public:
    explicit Th_Download(PedidoDownload pedido, QObject* parent = nullptr);
    ~Th_Download() override;

    // Stops the transfer and removes the temporary file; Terminado then says Cancelado.
    // Thread-safe.
    void Cancela();

    // Progress, for any thread: bytes received so far, and the file's size (-1 until the
    // server has told it).
    qint64 Recebidos() const { return recebidos_.load(); }
    qint64 Tamanho() const { return tamanho_.load(); }

    // The address libcurl is given: ftp://host:port/%2F<folder>/<file>, each segment
    // percent-encoded (the %2F makes the folder absolute, reached with one CWD).
    static QByteArray UrlFtp(const PedidoDownload& pedido);

    // How long a transfer may receive nothing before it is given up, in seconds.
    static constexpr long kLimiteParadoS = 120;

Q_SIGNALS:
    // erro: why it failed (Falhou), in the words of libcurl, the server and the system.
    void Terminado(FimDownload fim, const QString& erro);

protected:
    void run() override;

private:
    FimDownload Baixa(QString* erro);

    const PedidoDownload pedido_;
    TransferenciaCurl transferencia_;
    std::atomic<qint64> recebidos_{0};
    std::atomic<qint64> tamanho_{-1};
};

// A download ready to start(): a child of the application object, freed when it ends and
// stopped when the program ends first. Connect to Terminado before starting it.
Th_Download* CriaDownload(const PedidoDownload& pedido);
