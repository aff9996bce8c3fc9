#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A real FTP server on 127.0.0.1 for a test: Debian's pyftpdlib running servidor_ftp.py (beside
// this file) on a free port, serving a temporary folder to one account, started by the object
// and stopped by its process id when the object goes away. It logs each connection and each
// command it receives.
class ServidorFtp {
public:
    struct Opcoes {
        QString usuario = QStringLiteral("supvestra");
        QString senha = QStringLiteral("K7wR4#");
        qint64 limite = 0;          // bytes per second sent on data connections; 0: no limit
        qint64 corta = -1;          // the first RETR sends only this many bytes
        bool corteCompleta = false; // after the cut: "226" as if whole, rather than dropping
        qint64 sobra = 0;           // the first RETR sends this many bytes beyond the file
        bool segura226 = false;     // the "226" that ends a RETR never comes
        bool seguraQuit = false;    // QUIT is never answered
        qint64 respostaLonga = 0;   // RETR refused with a "550" line of this many characters
    };

    ServidorFtp() : ServidorFtp(Opcoes{}) {}
    explicit ServidorFtp(const Opcoes& opcoes);
    ~ServidorFtp();
    ServidorFtp(const ServidorFtp&) = delete;
    ServidorFtp& operator=(const ServidorFtp&) = delete;

    // False, with the reason in Motivo(), when the server could not start (for QSKIP).
    bool Ouvindo() const { return porta_ != 0; }
    const QString& Motivo() const { return motivo_; }
    quint16 Porta() const { return porta_; }

    // Puts a file in the served tree: `caminho` is absolute in it ("/httpdocs/x/y.exe").
    void Grava(const QString& caminho, const QByteArray& bytes) const;

    // The log: "CONEXAO" for each connection, then each command line as received.
    QStringList Log() const;
    // The commands alone (the first word of each logged command, upper-cased), in order.
    QStringList Comandos() const;

    // Stops the server now (the destructor does it otherwise).
    void Para();

private:
    QTemporaryDir pasta_;
    QProcess processo_;
    quint16 porta_ = 0;
    QString motivo_;
};

// The python that sees Debian's modules (not the first one on PATH), in the platform's
// spelling.
QString PythonDoSistema();
