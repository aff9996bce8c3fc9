#include "principal/ThIP.h"

#include "common/BibliotecaCurl.h"
#include "common/Texto.h"
#include "registro/Enderecos.h"

#include <QCoreApplication>
#include <QLabel>
#include <QUrl>
#include <algorithm>
#include <memory>

namespace {

const QString kNaoEncontrado = QStringLiteral("não encontrado!");

struct Coleta {
    QByteArray corpo;
    bool cheio = false;
};

size_t GuardaCorpo(char* dados, size_t tamanho, size_t n, void* usuario) {
    auto* c = static_cast<Coleta*>(usuario);
    const size_t total = tamanho * n;
    const qsizetype cabe = Th_IP::kLimiteCorpo - c->corpo.size();
    if (qsizetype(total) > cabe) {
        // Enough of the page for its title: keep what fits and stop the transfer.
        c->corpo.append(dados, cabe);
        c->cheio = true;
        return 0;
    }
    c->corpo.append(dados, qsizetype(total));
    return total;
}

bool DigitoOuPonto(QChar c) {
    return (c >= u'0' && c <= u'9') || c == u'.';
}

// A run without the dots that end a sentence or open it.
QString ApararPontos(QStringView s) {
    while (!s.isEmpty() && s.front() == u'.')
        s = s.mid(1);
    while (!s.isEmpty() && s.back() == u'.')
        s.chop(1);
    return s.toString();
}

// 1-based position of the first occurrence, 0 when absent.
qsizetype Pos(const QString& agulha, const QString& texto) {
    return texto.indexOf(agulha, 0, Qt::CaseSensitive) + 1;
}

} // namespace

Th_IP::Th_IP(QString urlPagina, QObject* parent) : QThread(parent), url_(std::move(urlPagina)) {}

Th_IP::~Th_IP() {
    // Nothing more is delivered from here on; the transfer stops and the thread is joined.
    disconnect(this, &Th_IP::Resultado, nullptr, nullptr);
    Abortar();
    wait();
}

QString Th_IP::TextoDaPagina(const QByteArray& corpo) {
    return DeWindows1252(corpo);
}

QString Th_IP::IpDaPagina(const QString& pagina) {
    const qsizetype p1 = Pos(QStringLiteral("<title>"), pagina) + 7;
    const qsizetype p2 = Pos(QStringLiteral("</title>"), pagina);
    if (p2 - p1 > 0) {
        // The first run of digits and dots that is a whole address: the rest of the title
        // ("IPv4", a version number) never joins it.
        const QStringView titulo = QStringView(pagina).mid(p1 - 1, p2 - p1);
        qsizetype i = 0;
        while (i < titulo.size()) {
            if (!DigitoOuPonto(titulo[i])) {
                ++i;
                continue;
            }
            const qsizetype inicio = i;
            while (i < titulo.size() && DigitoOuPonto(titulo[i]))
                ++i;
            const QString candidato = ApararPontos(titulo.mid(inicio, i - inicio));
            if (ValidaIP(candidato))
                return candidato;
        }
        return kNaoEncontrado;
    }
    // No title: a page that is only the address, as plain-text services answer.
    const QString corpo = pagina.trimmed();
    if (!corpo.isEmpty() && std::all_of(corpo.begin(), corpo.end(), DigitoOuPonto) &&
        ValidaIP(corpo))
        return corpo;
    return kNaoEncontrado; // "Ip Inválido"
}

QString Th_IP::BuscaMeuIP() {
    // libcurl is loaded here, on this thread, the first time the program needs it.
    const FuncoesCurl* c = BibliotecaCurl();
    if (!c)
        return kNaoEncontrado;
    std::unique_ptr<CURL, void (*)(CURL*)> curl(c->easy_init(), c->easy_cleanup);
    if (!curl)
        return kNaoEncontrado;
    QUrl endereco(url_);
    endereco.setPath(QStringLiteral("/"));
    const QByteArray url = endereco.toEncoded();
    Coleta coleta;
    c->easy_setopt(curl.get(), CURLOPT_URL, url.constData());
    c->easy_setopt(curl.get(), CURLOPT_HTTPGET, 1L);
    c->easy_setopt(curl.get(), CURLOPT_FAILONERROR, 1L);
    c->easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    c->easy_setopt(curl.get(), CURLOPT_PROXY, "");
    c->easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http,https");
    // A dead network gives up in time; a page that trickles is dropped.
    c->easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, 30L);
    c->easy_setopt(curl.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
    c->easy_setopt(curl.get(), CURLOPT_LOW_SPEED_TIME, 60L);
    // An abandoned name lookup is left to finish on its own instead of being waited for.
    c->easy_setopt(curl.get(), CURLOPT_QUICK_EXIT, 1L);
    c->easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &GuardaCorpo);
    c->easy_setopt(curl.get(), CURLOPT_WRITEDATA, &coleta);

    // Abortar() wakes the transfer's wait at once.
    const CURLcode rc = transferencia_.Executa(c, curl.get());
    if (transferencia_.Abortada() || rc == CURLE_ABORTED_BY_CALLBACK)
        return kNaoEncontrado;
    if (rc != CURLE_OK && !(rc == CURLE_WRITE_ERROR && coleta.cheio))
        return kNaoEncontrado;
    return IpDaPagina(TextoDaPagina(coleta.corpo));
}

void Th_IP::Abortar() {
    transferencia_.Abortar();
}

void Th_IP::run() {
    setPriority(QThread::LowestPriority);
    const QString resultado = BuscaMeuIP();
    if (!transferencia_.Abortada())
        Q_EMIT Resultado(QStringLiteral("Meu IP ") + resultado);
}

Th_IP* IniciaBuscaMeuIP(QLabel* lblIP, const QString& urlPagina) {
    QCoreApplication* app = QCoreApplication::instance();
    auto* th = new Th_IP(urlPagina, app);
    if (lblIP) {
        // Queued to the label's thread; dropped when the label is gone by then.
        QObject::connect(th, &Th_IP::Resultado, lblIP,
                         [lblIP](const QString& texto) { lblIP->setText(texto); });
    }
    QObject::connect(th, &QThread::finished, th, &QObject::deleteLater);
    // The program is ending: stop the transfer now; the application object, the thread's
    // parent, joins it when it goes away.
    if (app)
        QObject::connect(app, &QCoreApplication::aboutToQuit, th, &Th_IP::Abortar);
    th->start(QThread::LowestPriority);
    return th;
}
