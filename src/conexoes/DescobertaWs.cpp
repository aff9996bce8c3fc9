#include "conexoes/DescobertaWs.h"

#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUdpSocket>
#include <QUrl>
#include <QUuid>
#include <QXmlStreamReader>

Q_LOGGING_CATEGORY(lcWs, "gerenciador.rede.wsd")

namespace {

const QHostAddress kGrupo(QStringLiteral("239.255.255.250"));
constexpr quint16 kPorta = 3702;
constexpr qsizetype kMaxMensagem = 64 * 1024;
constexpr qsizetype kMensagensLembradas = 512;
constexpr int kTentativas = 3;
const QString kDescoberta = QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery/");

QString NovoId() {
    return QStringLiteral("urn:uuid:") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QByteArray Envelope(const QString& para, const QString& acao, const QString& corpo,
                    const QString& extra = {}) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                          "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\" "
                          "xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
                          "xmlns:wsd=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
                          "xmlns:wsdp=\"http://schemas.xmlsoap.org/ws/2006/02/devprof\">"
                          "<soap:Header><wsa:To>%1</wsa:To><wsa:Action>%2</wsa:Action>"
                          "<wsa:MessageID>%3</wsa:MessageID>%4</soap:Header>"
                          "<soap:Body>%5</soap:Body></soap:Envelope>")
        .arg(para.toHtmlEscaped(), acao, NovoId(), extra, corpo)
        .toUtf8();
}

QByteArray Sonda() {
    // wsdd answers only this exact spelling of the type (prefix included).
    return Envelope(QStringLiteral("urn:schemas-xmlsoap-org:ws:2005:04:discovery"),
                    kDescoberta + QLatin1String("Probe"),
                    QStringLiteral("<wsd:Probe><wsd:Types>wsdp:Device</wsd:Types></wsd:Probe>"));
}

QByteArray Resolucao(const QString& endpoint) {
    return Envelope(QStringLiteral("urn:schemas-xmlsoap-org:ws:2005:04:discovery"),
                    kDescoberta + QLatin1String("Resolve"),
                    QStringLiteral("<wsd:Resolve><wsa:EndpointReference><wsa:Address>%1"
                                   "</wsa:Address></wsa:EndpointReference></wsd:Resolve>")
                        .arg(endpoint.toHtmlEscaped()));
}

// The parts of a discovery message that matter here.
struct Mensagem {
    QString acao;
    QString id;
    QString endpoint;
    QString tipos;
    QString xaddrs;
};

std::optional<Mensagem> LeMensagem(const QByteArray& bytes) {
    Mensagem m;
    QXmlStreamReader xml(bytes);
    QStringList caminho;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            caminho.append(xml.name().toString());
            break;
        case QXmlStreamReader::EndElement:
            if (!caminho.isEmpty())
                caminho.removeLast();
            break;
        case QXmlStreamReader::Characters: {
            if (caminho.isEmpty())
                break;
            const QString& nome = caminho.constLast();
            const QString texto = xml.text().toString().trimmed();
            const bool noCabecalho = caminho.contains(QLatin1String("Header"));
            if (noCabecalho && nome == QLatin1String("Action"))
                m.acao += texto;
            else if (noCabecalho && nome == QLatin1String("MessageID"))
                m.id += texto;
            else if (!noCabecalho && nome == QLatin1String("Address") &&
                     caminho.contains(QLatin1String("EndpointReference")) && m.endpoint.isEmpty())
                m.endpoint = texto;
            else if (!noCabecalho && nome == QLatin1String("Types"))
                m.tipos += texto;
            else if (!noCabecalho && nome == QLatin1String("XAddrs"))
                m.xaddrs += texto;
            break;
        }
        default:
            break;
        }
    }
    if (xml.hasError() || m.acao.isEmpty())
        return std::nullopt;
    return m;
}

// Types such as "wsdp:Device pub:Computer": the computers, not the printers and scanners.
bool EComputador(const QString& tipos) {
    for (const QString& t : tipos.split(u' ', Qt::SkipEmptyParts))
        if (t.section(u':', -1) == QLatin1String("Computer"))
            return true;
    return false;
}

} // namespace

bool LeMensagemDescoberta(const QByteArray& bytes) {
    return LeMensagem(bytes).has_value();
}

DescobertaWs::DescobertaWs(QObject* pai) : QObject(pai) {}

DescobertaWs::~DescobertaWs() = default;

std::optional<DescobertaWs::Computador> DescobertaWs::LeComputador(const QByteArray& metadados) {
    QXmlStreamReader xml(metadados);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement &&
            xml.name() == QLatin1String("Computer") &&
            xml.namespaceUri() ==
                QLatin1String("http://schemas.microsoft.com/windows/pub/2005/07")) {
            // NAME/Workgroup:GROUP, NAME/Domain:DOMAIN, or NAME/NotJoined.
            const QString texto = xml.readElementText().trimmed();
            const QString nome = texto.section(u'/', 0, 0).trimmed();
            const QString resto = texto.section(u'/', 1);
            const QString grupo = (resto.contains(u':') ? resto.section(u':', 1) : resto).trimmed();
            if (nome.isEmpty())
                return std::nullopt;
            return Computador{nome, grupo.isEmpty() ? QStringLiteral("WORKGROUP") : grupo};
        }
    }
    return std::nullopt;
}

void DescobertaWs::Inicia() {
    if (http_)
        return;
    http_ = new QNetworkAccessManager(this);
    http_->setProxy(QNetworkProxy::NoProxy);

    anuncios_ = new QUdpSocket(this);
    if (!anuncios_->bind(QHostAddress::AnyIPv4, kPorta,
                         QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
        qCInfo(lcWs) << "no listening for announcements on port 3702:" << anuncios_->errorString();
    connect(anuncios_, &QUdpSocket::readyRead, this, [this] { Recebe(anuncios_, -1); });

    const auto todas = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& i : todas) {
        const auto f = i.flags();
        if (!(f & QNetworkInterface::IsUp) || !(f & QNetworkInterface::IsRunning) ||
            !(f & QNetworkInterface::CanMulticast) || (f & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& e : i.addressEntries()) {
            if (e.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            if (anuncios_->state() == QAbstractSocket::BoundState)
                anuncios_->joinMulticastGroup(kGrupo, i);
            auto* s = new QUdpSocket(this);
            if (!s->bind(e.ip(), 0)) {
                qCInfo(lcWs) << "no probe on" << i.name() << s->errorString();
                delete s;
                continue;
            }
            s->setMulticastInterface(i);
            s->setSocketOption(QAbstractSocket::MulticastTtlOption, 1);
            const int indice = int(interfaces_.size());
            interfaces_.append(Interface{i, e.ip(), s});
            connect(s, &QUdpSocket::readyRead, this, [this, s, indice] { Recebe(s, indice); });
            Envia(indice, Sonda());
            break; // one address per interface is enough to probe its link
        }
    }
}

void DescobertaWs::Envia(int indice, const QByteArray& mensagem) {
    const Interface& i = interfaces_[indice];
    if (i.socket->writeDatagram(mensagem, kGrupo, kPorta) < 0)
        qCInfo(lcWs) << "probe not sent on" << i.interface.name() << i.socket->errorString();
}

void DescobertaWs::Recebe(QUdpSocket* socket, int indice) {
    while (socket->hasPendingDatagrams()) {
        QHostAddress origem;
        const qint64 tamanho = socket->pendingDatagramSize();
        QByteArray dados(qMax<qint64>(0, qMin<qint64>(tamanho, kMaxMensagem)), Qt::Uninitialized);
        if (socket->readDatagram(dados.data(), dados.size(), &origem) < 0 || tamanho > kMaxMensagem)
            continue;
        const std::optional<Mensagem> m = LeMensagem(dados);
        if (!m || m->id.isEmpty() || m->endpoint.isEmpty())
            continue;
        // Each message comes several times (on the wire and per interface): once is enough.
        if (mensagensVistas_.contains(m->id + u'|' + QString::number(indice)))
            continue;
        mensagensVistas_.insert(m->id + u'|' + QString::number(indice));
        ordemMensagens_.append(m->id + u'|' + QString::number(indice));
        if (ordemMensagens_.size() > kMensagensLembradas)
            mensagensVistas_.remove(ordemMensagens_.takeFirst());

        // An announcement reaches the shared socket: the interface is the one whose network
        // holds the sender.
        int onde = indice;
        if (onde < 0) {
            for (int i = 0; i < interfaces_.size() && onde < 0; ++i)
                for (const QNetworkAddressEntry& e : interfaces_[i].interface.addressEntries())
                    if (e.ip().protocol() == QAbstractSocket::IPv4Protocol &&
                        origem.isInSubnet(e.ip(), e.prefixLength()))
                        onde = i;
            if (onde < 0)
                continue;
        }
        const QString acao = m->acao.mid(kDescoberta.size());
        if (!m->acao.startsWith(kDescoberta))
            continue;
        if (acao == QLatin1String("Bye")) {
            Q_EMIT Perdido(m->endpoint + u'|');
            continue;
        }
        const bool encontro = acao == QLatin1String("ProbeMatches") ||
                              acao == QLatin1String("Hello") ||
                              acao == QLatin1String("ResolveMatches");
        if (!encontro)
            continue;
        // Printers and scanners say what they are; a Hello or a Resolve answer often says
        // nothing, and then the metadata tells (only a computer names its host).
        if (!m->tipos.isEmpty() && !EComputador(m->tipos))
            continue;
        if (!m->xaddrs.isEmpty())
            BuscaMetadados(m->endpoint, m->xaddrs, onde);
        else if (acao != QLatin1String("ResolveMatches"))
            Envia(onde, Resolucao(m->endpoint));
    }
}

void DescobertaWs::BuscaMetadados(const QString& endpoint, const QString& xaddrs, int indice) {
    QUrl url;
    for (const QString& x : xaddrs.split(u' ', Qt::SkipEmptyParts)) {
        const QUrl u(x);
        if (u.scheme() == QLatin1String("http") &&
            QHostAddress(u.host()).protocol() != QAbstractSocket::IPv6Protocol) {
            url = u;
            break;
        }
    }
    const QString chave = endpoint + u'|' + interfaces_[indice].interface.name();
    if (!url.isValid() || pedidos_.contains(chave))
        return;
    pedidos_.insert(chave);
    QNetworkRequest pedido(url);
    pedido.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/soap+xml"));
    pedido.setTransferTimeout(5000);
    const QByteArray corpo =
        Envelope(endpoint, QStringLiteral("http://schemas.xmlsoap.org/ws/2004/09/transfer/Get"), {},
                 QStringLiteral("<wsa:ReplyTo><wsa:Address>http://schemas.xmlsoap.org/ws/2004/08/"
                                "addressing/role/anonymous</wsa:Address></wsa:ReplyTo>"));
    QNetworkReply* resposta = http_->post(pedido, corpo);
    connect(resposta, &QNetworkReply::downloadProgress, resposta, [resposta](qint64 recebido) {
        if (recebido > kMaxMensagem)
            resposta->abort();
    });
    connect(resposta, &QNetworkReply::finished, this,
            [this, resposta, chave, endpoint, xaddrs, indice] {
                resposta->deleteLater();
                pedidos_.remove(chave);
                if (resposta->error() != QNetworkReply::NoError) {
                    qCInfo(lcWs) << "metadata of" << chave
                                 << "not read:" << resposta->errorString();
                    // A host that has just said Hello may not serve yet: a few more tries.
                    if (++tentativas_[chave] < kTentativas)
                        QTimer::singleShot(1000, this, [this, endpoint, xaddrs, indice] {
                            BuscaMetadados(endpoint, xaddrs, indice);
                        });
                    else
                        tentativas_.remove(chave);
                    return;
                }
                tentativas_.remove(chave);
                const std::optional<Computador> c = LeComputador(resposta->readAll());
                if (c)
                    Q_EMIT Visto(chave, c->nome, c->grupo);
            });
}
