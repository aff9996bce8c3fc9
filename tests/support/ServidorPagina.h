#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

// A canned page server on 127.0.0.1 for the public IP lookup: answers every request with one
// fixed response after a delay (never, when the delay is negative), and keeps the request
// lines it saw and the number of answers it sent.
class ServidorPagina : public QObject {
public:
    ServidorPagina(QByteArray status, QByteArray corpo, int atrasoMs = 0);

    bool Ouvindo() const { return servidor_.isListening(); }
    QString Url(const QString& caminho = QStringLiteral("/")) const;
    const QList<QByteArray>& Pedidos() const { return pedidos_; }
    int Respostas() const { return respostas_; }

private:
    void Aceita();
    void Responde(QTcpSocket* s);

    QTcpServer servidor_;
    QByteArray status_;
    QByteArray corpo_;
    int atrasoMs_;
    QList<QByteArray> pedidos_;
    int respostas_ = 0;
};

// A port on 127.0.0.1 on which nothing listens.
quint16 PortaFechada();

class QProcess;

// Runs this test executable again as `modo` (its arguments: the page's address and the port
// of a signal socket), waits until the child's request has reached the silent `servidor`,
// tells the child through the socket to quit, and waits until it has ended. A failure is
// recorded in the running test; the caller checks the child's exit afterwards.
void EncerraFilhoComPaginaMuda(QProcess& filho, const QString& modo,
                               const ServidorPagina& servidor);
