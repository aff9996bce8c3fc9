#include "support/ServidorPagina.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <memory>

ServidorPagina::ServidorPagina(QByteArray status, QByteArray corpo, int atrasoMs)
    : status_(std::move(status)), corpo_(std::move(corpo)), atrasoMs_(atrasoMs) {
    QObject::connect(&servidor_, &QTcpServer::newConnection, this, [this] { Aceita(); });
    servidor_.listen(QHostAddress::LocalHost, 0);
}

QString ServidorPagina::Url(const QString& caminho) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(servidor_.serverPort()).arg(caminho);
}

void ServidorPagina::Aceita() {
    while (QTcpSocket* s = servidor_.nextPendingConnection()) {
        s->setParent(this);
        auto lido = std::make_shared<QByteArray>();
        QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, lido] {
            *lido += s->readAll();
            const qsizetype fim = lido->indexOf("\r\n\r\n");
            if (fim < 0 || lido->isEmpty())
                return;
            pedidos_.append(lido->left(lido->indexOf("\r\n")));
            lido->clear();
            if (atrasoMs_ >= 0)
                QTimer::singleShot(atrasoMs_, s, [this, s] { Responde(s); });
        });
    }
}

void ServidorPagina::Responde(QTcpSocket* s) {
    s->write("HTTP/1.1 " + status_ + "\r\nContent-Type: text/html\r\nContent-Length: " +
             QByteArray::number(corpo_.size()) + "\r\nConnection: close\r\n\r\n" + corpo_);
    s->disconnectFromHost();
    ++respostas_;
}

quint16 PortaFechada() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    const quint16 porta = s.serverPort();
    s.close();
    return porta;
}

void EncerraFilhoComPaginaMuda(QProcess& filho, const QString& modo,
                               const ServidorPagina& servidor) {
    QTcpServer sinal;
    QVERIFY(sinal.listen(QHostAddress::LocalHost, 0));
    filho.setProcessChannelMode(QProcess::ForwardedChannels);
    filho.start(QCoreApplication::applicationFilePath(),
                {modo, servidor.Url(), QString::number(sinal.serverPort()),
                 QStringLiteral("-platform"), QStringLiteral("offscreen")});
    QVERIFY(filho.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(sinal.hasPendingConnections(), 30000);
    QTcpSocket* canal = sinal.nextPendingConnection();
    QTRY_VERIFY_WITH_TIMEOUT(!servidor.Pedidos().isEmpty(), 30000);
    canal->write("q");
    QTRY_VERIFY_WITH_TIMEOUT(filho.state() == QProcess::NotRunning, 30000);
}
