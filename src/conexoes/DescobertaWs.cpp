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
#include <vector>

Q_LOGGING_CATEGORY(lcWs, "gerenciador.rede.wsd")

namespace {

const QHostAddress kGrupo(QStringLiteral("239.255.255.250"));
constexpr quint16 kPorta = 3702;
constexpr qsizetype kMaxMensagem = 64 * 1024;
constexpr qsizetype kMensagensLembradas = 512;
constexpr int kTentativas = 3;
// Deeper than any discovery message nests (a SOAP envelope is 6 or 7 levels deep).
constexpr qsizetype kProfundidade = 32;
// Endpoints and message identifiers are URNs: longer ones are not kept.
constexpr qsizetype kMaxIdentificador = 256;
// Datagrams read per turn of the event loop, so that a flood never holds the window.
constexpr int kDatagramasPorVez = 8;
constexpr int kTempoPedido = 5000; // ms a metadata request may take in all
int g_intervaloRodadas = 0;        // DefineIntervaloRodadas
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

// Types such as "wsdp:Device pub:Computer": the computers, not the printers and scanners.
bool EComputador(const QString& tipos) {
    for (const QString& t : tipos.split(u' ', Qt::SkipEmptyParts))
        if (t.section(u':', -1) == QLatin1String("Computer"))
            return true;
    return false;
}

} // namespace

bool LeMensagemDescoberta(const QByteArray& bytes) {
    return DescobertaWs::LeMensagem(bytes).has_value();
}

DescobertaWs::DescobertaWs(QObject* pai) : QObject(pai) {}

void DescobertaWs::DefineIntervaloRodadas(int ms) {
    g_intervaloRodadas = ms;
}

DescobertaWs::~DescobertaWs() = default;

std::optional<DescobertaWs::Mensagem> DescobertaWs::LeMensagem(const QByteArray& bytes) {
    // What an element is to this reader; the path holds one of these per open element, and
    // two counters say whether a header or an endpoint reference is open, so that each text
    // costs the same whatever the depth.
    enum Elemento : quint8 {
        Outro,
        Cabecalho,
        Acao,
        IdMensagem,
        Referencia,
        Endereco,
        Tipos,
        XAddrs
    };
    Mensagem m;
    QXmlStreamReader xml(bytes);
    std::vector<Elemento> caminho;
    int cabecalhos = 0;
    int referencias = 0;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (qsizetype(caminho.size()) >= kProfundidade)
                return std::nullopt;
            const QStringView nome = xml.name();
            Elemento e = Outro;
            if (nome == QLatin1String("Header"))
                e = Cabecalho;
            else if (nome == QLatin1String("Action"))
                e = Acao;
            else if (nome == QLatin1String("MessageID"))
                e = IdMensagem;
            else if (nome == QLatin1String("EndpointReference"))
                e = Referencia;
            else if (nome == QLatin1String("Address"))
                e = Endereco;
            else if (nome == QLatin1String("Types"))
                e = Tipos;
            else if (nome == QLatin1String("XAddrs"))
                e = XAddrs;
            cabecalhos += e == Cabecalho;
            referencias += e == Referencia;
            caminho.push_back(e);
            break;
        }
        case QXmlStreamReader::EndElement:
            if (!caminho.empty()) {
                cabecalhos -= caminho.back() == Cabecalho;
                referencias -= caminho.back() == Referencia;
                caminho.pop_back();
            }
            break;
        case QXmlStreamReader::Characters: {
            if (caminho.empty())
                break;
            const QString texto = xml.text().trimmed().toString();
            const bool noCabecalho = cabecalhos > 0;
            switch (caminho.back()) {
            case Acao:
                if (noCabecalho)
                    m.acao += texto;
                break;
            case IdMensagem:
                if (noCabecalho)
                    m.id += texto;
                break;
            case Endereco:
                if (!noCabecalho && referencias > 0 && m.endpoint.isEmpty())
                    m.endpoint = texto;
                break;
            case Tipos:
                if (!noCabecalho)
                    m.tipos += texto;
                break;
            case XAddrs:
                if (!noCabecalho)
                    m.xaddrs += texto;
                break;
            default:
                break;
            }
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

    recebido_.resize(kMaxMensagem + 1);
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
            QList<QNetworkAddressEntry> redes;
            for (const QNetworkAddressEntry& r : i.addressEntries())
                if (r.ip().protocol() == QAbstractSocket::IPv4Protocol)
                    redes.append(r);
            const int indice = int(interfaces_.size());
            interfaces_.append(Interface{i, redes, s});
            connect(s, &QUdpSocket::readyRead, this, [this, s, indice] { Recebe(s, indice); });
            break; // one address per interface is enough to probe its link
        }
    }
    // A round now, and one every interval: the same probe (one message, one identifier) sent a
    // few times, a new one each round.
    const auto rodada = [this] {
        sonda_ = Sonda();
        enviosRestantes_ = kEnviosPorRodada;
        EnviaSondas();
    };
    auto* rodadas = new QTimer(this);
    connect(rodadas, &QTimer::timeout, this, rodada);
    rodadas->start(g_intervaloRodadas > 0 ? g_intervaloRodadas : kIntervaloRodadas);
    rodada();
}

void DescobertaWs::EnviaSondas() {
    for (int i = 0; i < interfaces_.size(); ++i)
        Envia(i, sonda_);
    if (--enviosRestantes_ > 0)
        QTimer::singleShot(kEspacoEnvios, this, [this] { EnviaSondas(); });
}

void DescobertaWs::Envia(int indice, const QByteArray& mensagem) {
    const Interface& i = interfaces_[indice];
    if (i.socket->writeDatagram(mensagem, kGrupo, kPorta) < 0)
        qCInfo(lcWs) << "probe not sent on" << i.interface.name() << i.socket->errorString();
}

int DescobertaWs::InterfaceDe(const QHostAddress& origem, int indice) const {
    // Discovery speaks only on the link: the sender must be on the network of the interface
    // the datagram came in on (any of ours, for announcements on the shared socket).
    for (int i = indice < 0 ? 0 : indice; i < (indice < 0 ? interfaces_.size() : indice + 1); ++i)
        for (const QNetworkAddressEntry& e : interfaces_[i].redes)
            if (origem.isInSubnet(e.ip(), e.prefixLength()))
                return i;
    return -1;
}

void DescobertaWs::Recebe(QUdpSocket* socket, int indice) {
    // A few per turn, so that a flood never holds the window: the socket's notifier brings the
    // rest on the next turn. Every turn ends in a read, the one that finds the socket empty
    // when it is drained: Qt signals a socket again only after a read, so a turn that
    // only asked whether anything was there would leave it deaf for good.
    for (int n = 0; n < kDatagramasPorVez; ++n) {
        QHostAddress origem;
        const qint64 tamanho = socket->readDatagram(recebido_.data(), recebido_.size(), &origem);
        if (tamanho < 0)
            break;
        if (tamanho > kMaxMensagem)
            continue;
        // A sender off the link is dropped unparsed.
        const int onde = InterfaceDe(origem, indice);
        if (onde >= 0)
            Trata(QByteArray::fromRawData(recebido_.constData(), tamanho), origem, onde);
    }
}

void DescobertaWs::Trata(const QByteArray& dados, const QHostAddress& origem, int onde) {
    const std::optional<Mensagem> m = LeMensagem(dados);
    if (!m || m->id.isEmpty() || m->endpoint.isEmpty() || m->id.size() > kMaxIdentificador ||
        m->endpoint.size() > kMaxIdentificador)
        return;
    // Each message comes several times (on the wire and per interface): once is enough.
    const QString vista = m->id + u'|' + QString::number(onde);
    if (mensagensVistas_.contains(vista))
        return;
    mensagensVistas_.insert(vista);
    ordemMensagens_.append(vista);
    if (ordemMensagens_.size() > kMensagensLembradas)
        mensagensVistas_.remove(ordemMensagens_.takeFirst());

    if (!m->acao.startsWith(kDescoberta))
        return;
    const QString acao = m->acao.mid(kDescoberta.size());
    if (acao == QLatin1String("Bye")) {
        // Only what was seen at the sender's address goes: a Bye from another host in the
        // name of this endpoint removes nothing.
        const QString prefixo = m->endpoint + u'|' + origem.toString() + u'|';
        fila_.removeIf([&](const Pedido& p) {
            if (!p.chave.startsWith(prefixo))
                return false;
            pedidos_.remove(p.chave);
            return true;
        });
        ordemLidos_.removeIf([&](const QString& chave) {
            return chave.startsWith(prefixo) && lidos_.remove(chave);
        });
        Q_EMIT Perdido(prefixo);
        return;
    }
    const bool encontro = acao == QLatin1String("ProbeMatches") || acao == QLatin1String("Hello") ||
                          acao == QLatin1String("ResolveMatches");
    if (!encontro)
        return;
    // Printers and scanners say what they are; a Hello or a Resolve answer often says
    // nothing, and then the metadata tells (only a computer names its host).
    if (!m->tipos.isEmpty() && !EComputador(m->tipos))
        return;
    // A sighting whose metadata was read is seen again as it is: no Resolve, no request.
    const QString chave = Chave(m->endpoint, origem, onde);
    const auto lido = lidos_.constFind(chave);
    if (lido != lidos_.cend()) {
        Q_EMIT Visto(chave, lido->nome, lido->grupo, origem);
        return;
    }
    if (!m->xaddrs.isEmpty())
        BuscaMetadados(m->endpoint, m->xaddrs, origem, onde);
    else if (acao != QLatin1String("ResolveMatches"))
        Envia(onde, Resolucao(m->endpoint));
}

void DescobertaWs::BuscaMetadados(const QString& endpoint, const QString& xaddrs,
                                  const QHostAddress& origem, int indice) {
    // The metadata is asked only of the host that spoke, at its address as the datagram
    // carried it: never another host, never a name to look up.
    QUrl url;
    for (const QString& x : xaddrs.split(u' ', Qt::SkipEmptyParts)) {
        const QUrl u(x);
        if (u.scheme() == QLatin1String("http") && QHostAddress(u.host()) == origem) {
            url = u;
            break;
        }
    }
    if (!url.isValid()) {
        qCDebug(lcWs) << "metadata address not the sender's" << origem.toString();
        return;
    }
    const QString chave = Chave(endpoint, origem, indice);
    if (pedidos_.contains(chave))
        return;
    if (fila_.size() >= kPedidosNaFila) {
        if (!filaCheiaDito_)
            qCInfo(lcWs) << "too many machines waiting for their metadata: the others are dropped";
        filaCheiaDito_ = true;
        return;
    }
    pedidos_.insert(chave);
    fila_.append(Pedido{chave, endpoint, url, origem});
    Despacha();
}

QString DescobertaWs::Chave(const QString& endpoint, const QHostAddress& origem, int indice) const {
    return endpoint + u'|' + origem.toString() + u'|' + interfaces_[indice].interface.name();
}

void DescobertaWs::Lembra(const QString& chave, const Computador& c) {
    if (!lidos_.contains(chave)) {
        ordemLidos_.append(chave);
        if (ordemLidos_.size() > kLembrados)
            lidos_.remove(ordemLidos_.takeFirst());
    }
    lidos_.insert(chave, c);
}

void DescobertaWs::Despacha() {
    while (emVoo_ < kPedidosEmVoo && !fila_.isEmpty())
        Pede(fila_.takeFirst());
}

void DescobertaWs::Pede(const Pedido& p) {
    ++emVoo_;
    QNetworkRequest pedido(p.url);
    pedido.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/soap+xml"));
    // One answer per host: no connection stays open after it.
    pedido.setRawHeader(QByteArrayLiteral("Connection"), QByteArrayLiteral("close"));
    pedido.setTransferTimeout(kTempoPedido);
    // A redirection would send the request to another address.
    pedido.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                        QNetworkRequest::ManualRedirectPolicy);
    const QByteArray corpo = Envelope(
        p.endpoint, QStringLiteral("http://schemas.xmlsoap.org/ws/2004/09/transfer/Get"), {},
        QStringLiteral("<wsa:ReplyTo><wsa:Address>http://schemas.xmlsoap.org/ws/2004/08/"
                       "addressing/role/anonymous</wsa:Address></wsa:ReplyTo>"));
    QNetworkReply* resposta = http_->post(pedido, corpo);
    connect(resposta, &QNetworkReply::downloadProgress, resposta, [resposta](qint64 recebido) {
        if (recebido > kMaxMensagem)
            resposta->abort();
    });
    // The whole request, not only its silences, has a time limit.
    QTimer::singleShot(kTempoPedido, resposta, [resposta] { resposta->abort(); });
    connect(resposta, &QNetworkReply::finished, this, [this, resposta, p] {
        resposta->deleteLater();
        --emVoo_;
        pedidos_.remove(p.chave);
        if (resposta->error() != QNetworkReply::NoError) {
            qCDebug(lcWs) << "metadata of" << p.chave << "not read:" << resposta->errorString();
            // A host that has just said Hello may not serve yet: a few more tries.
            if (++tentativas_[p.chave] < kTentativas)
                QTimer::singleShot(1000, this, [this, p] {
                    if (pedidos_.contains(p.chave) || fila_.size() >= kPedidosNaFila) {
                        tentativas_.remove(p.chave);
                        return;
                    }
                    pedidos_.insert(p.chave);
                    fila_.append(p);
                    Despacha();
                });
            else
                tentativas_.remove(p.chave);
        } else {
            tentativas_.remove(p.chave);
            const std::optional<Computador> c = LeComputador(resposta->read(kMaxMensagem));
            if (c) {
                Lembra(p.chave, *c);
                Q_EMIT Visto(p.chave, c->nome, c->grupo, p.origem);
            }
        }
        Despacha();
    });
}
