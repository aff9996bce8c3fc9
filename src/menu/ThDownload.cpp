#include "menu/ThDownload.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QUrl>
#include <memory>

namespace {

struct Recepcao {
    QFile* arquivo = nullptr;
    std::atomic<qint64>* recebidos = nullptr;
    std::atomic<qint64>* tamanho = nullptr;
    QString erroGravacao;   // why the file could not take the data
    QByteArray ultimaLinha; // the server's last reply line
};

size_t Grava(char* dados, size_t tamanho, size_t n, void* usuario) {
    auto* r = static_cast<Recepcao*>(usuario);
    const qint64 total = qint64(tamanho * n);
    if (r->arquivo->write(dados, total) != total) {
        r->erroGravacao = r->arquivo->errorString();
        return 0; // stops the transfer
    }
    r->recebidos->fetch_add(total);
    return size_t(total);
}

size_t Resposta(char* dados, size_t tamanho, size_t n, void* usuario) {
    auto* r = static_cast<Recepcao*>(usuario);
    const QByteArray linha = QByteArray(dados, qsizetype(tamanho * n)).trimmed();
    if (!linha.isEmpty())
        r->ultimaLinha = linha;
    return tamanho * n;
}

int Progresso(void* usuario, curl_off_t total, curl_off_t, curl_off_t, curl_off_t) {
    auto* r = static_cast<Recepcao*>(usuario);
    if (total > 0)
        r->tamanho->store(total);
    return 0;
}

// The words libcurl gives for a failure, without the noise it leaves in its error buffer in
// active mode ("sa_addr inet_ntop() failed with errno 97...", written on every transfer
// before any real error, which then never reaches the buffer).
QString TextoCurl(const FuncoesCurl* c, CURL* curl, CURLcode rc, const char* buffer) {
    QString texto = QString::fromUtf8(buffer).trimmed();
    if (texto.isEmpty() || texto.startsWith(QLatin1String("sa_addr inet_ntop")))
        texto = QString::fromUtf8(c->easy_strerror(rc));
    long numero = 0;
    if (rc == CURLE_COULDNT_CONNECT || rc == CURLE_COULDNT_RESOLVE_HOST || rc == CURLE_RECV_ERROR ||
        rc == CURLE_SEND_ERROR) {
        if (c->easy_getinfo(curl, CURLINFO_OS_ERRNO, &numero) == CURLE_OK && numero != 0)
            texto += QStringLiteral(" (%1)").arg(qt_error_string(int(numero)));
    }
    return texto;
}

} // namespace

Th_Download::Th_Download(PedidoDownload pedido, QObject* parent)
    : QThread(parent), pedido_(std::move(pedido)) {}

Th_Download::~Th_Download() {
    disconnect(this, &Th_Download::Terminado, nullptr, nullptr);
    Cancela();
    wait();
}

void Th_Download::Cancela() {
    transferencia_.Abortar();
}

QByteArray Th_Download::UrlFtp(const PedidoDownload& pedido) {
    QByteArray url = "ftp://";
    if (pedido.host.contains(u':')) { // an IPv6 address goes in brackets
        url += '[' + pedido.host.toLatin1() + ']';
    } else {
        const QByteArray ace = QUrl::toAce(pedido.host);
        url += ace.isEmpty() ? pedido.host.toUtf8() : ace;
    }
    url += ':' + QByteArray::number(pedido.porta) + "/%2F";
    for (const QString& parte : pedido.pastaRemota.split(u'/', Qt::SkipEmptyParts))
        url += QUrl::toPercentEncoding(parte) + '/';
    return url + QUrl::toPercentEncoding(pedido.arquivoRemoto);
}

FimDownload Th_Download::Baixa(QString* erro) {
    QString erroCarga;
    const FuncoesCurl* c = BibliotecaCurl(&erroCarga);
    if (!c) {
        *erro =
            QStringLiteral("Não foi possível carregar %1: %2").arg(NomeBibliotecaCurl(), erroCarga);
        return FimDownload::Falhou;
    }
    if (transferencia_.Abortada())
        return FimDownload::Cancelado;

    // The data goes to a file of another name beside the program's place, renamed only when
    // complete.
    const QFileInfo destino(pedido_.caminhoLocal);
    QTemporaryFile temporario(destino.absolutePath() + u'/' + destino.fileName() +
                              QStringLiteral(".XXXXXX.parcial"));
    temporario.setAutoRemove(true); // until it takes the program's name
    if (!temporario.open()) {
        *erro =
            QStringLiteral("Não foi possível criar um arquivo em %1: %2")
                .arg(QDir::toNativeSeparators(destino.absolutePath()), temporario.errorString());
        return FimDownload::Falhou;
    }

    std::unique_ptr<CURL, void (*)(CURL*)> curl(c->easy_init(), c->easy_cleanup);
    if (!curl) {
        *erro = QString::fromUtf8(c->easy_strerror(CURLE_OUT_OF_MEMORY));
        return FimDownload::Falhou;
    }
    CURL* h = curl.get();
    Recepcao recepcao;
    recepcao.arquivo = &temporario;
    recepcao.recebidos = &recebidos_;
    recepcao.tamanho = &tamanho_;
    char buffer[CURL_ERROR_SIZE] = {};
    const QByteArray url = UrlFtp(pedido_);
    const QByteArray usuario = pedido_.usuario.toUtf8();
    const QByteArray senha = pedido_.senha.toUtf8();
    c->easy_setopt(h, CURLOPT_URL, url.constData());
    c->easy_setopt(h, CURLOPT_PROTOCOLS_STR, "ftp");
    // Apart from the address: a '#' in a password would end a URL.
    c->easy_setopt(h, CURLOPT_USERNAME, usuario.constData());
    c->easy_setopt(h, CURLOPT_PASSWORD, senha.constData());
    c->easy_setopt(h, CURLOPT_PROXY, "");
    // Active mode announced with PORT: we listen, the server connects.
    c->easy_setopt(h, CURLOPT_FTPPORT, "-");
    c->easy_setopt(h, CURLOPT_FTP_USE_EPRT, 0L);
    c->easy_setopt(h, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_SINGLECWD));
    c->easy_setopt(h, CURLOPT_TRANSFERTEXT, 0L);
    c->easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 120L);
    c->easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    c->easy_setopt(h, CURLOPT_LOW_SPEED_TIME, kLimiteParadoS);
    c->easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, kLimiteParadoS);
    c->easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    c->easy_setopt(h, CURLOPT_QUICK_EXIT, 1L);
    c->easy_setopt(h, CURLOPT_BUFFERSIZE, 256L * 1024);
    c->easy_setopt(h, CURLOPT_ERRORBUFFER, buffer);
    c->easy_setopt(h, CURLOPT_WRITEFUNCTION, &Grava);
    c->easy_setopt(h, CURLOPT_WRITEDATA, &recepcao);
    c->easy_setopt(h, CURLOPT_HEADERFUNCTION, &Resposta);
    c->easy_setopt(h, CURLOPT_HEADERDATA, &recepcao);
    c->easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    c->easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Progresso);
    c->easy_setopt(h, CURLOPT_XFERINFODATA, &recepcao);

    const CURLcode rc = transferencia_.Executa(c, h);
    if (transferencia_.Abortada() || rc == CURLE_ABORTED_BY_CALLBACK)
        return FimDownload::Cancelado;
    if (rc != CURLE_OK) {
        if (rc == CURLE_WRITE_ERROR && !recepcao.erroGravacao.isEmpty()) {
            *erro =
                QStringLiteral("Não foi possível gravar %1: %2")
                    .arg(QDir::toNativeSeparators(temporario.fileName()), recepcao.erroGravacao);
        } else {
            *erro = TextoCurl(c, h, rc, buffer);
            if (rc == CURLE_PARTIAL_FILE) {
                curl_off_t anunciado = -1;
                c->easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &anunciado);
                *erro += QStringLiteral(" (%1 de %2 bytes)")
                             .arg(recebidos_.load())
                             .arg(qint64(anunciado));
            }
            // The server's own words, when its last reply refused something.
            if (recepcao.ultimaLinha.startsWith('4') || recepcao.ultimaLinha.startsWith('5'))
                *erro += u'\r' + QString::fromUtf8(recepcao.ultimaLinha);
        }
        return FimDownload::Falhou;
    }

    // Complete only when every byte the server announced is here, and on the disk.
    if (!temporario.flush()) {
        *erro = QStringLiteral("Não foi possível gravar %1: %2")
                    .arg(QDir::toNativeSeparators(temporario.fileName()), temporario.errorString());
        return FimDownload::Falhou;
    }
    curl_off_t anunciado = -1;
    c->easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &anunciado);
    const qint64 gravados = temporario.size();
    if (anunciado >= 0 && gravados != qint64(anunciado)) {
        *erro = QStringLiteral("Arquivo recebido incompleto: %1 de %2 bytes.")
                    .arg(gravados)
                    .arg(qint64(anunciado));
        return FimDownload::Falhou;
    }
    temporario.close();
    // A program: whoever may read it may run it.
    temporario.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                              QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                              QFileDevice::ExeGroup | QFileDevice::ReadOther |
                              QFileDevice::ExeOther);
    // Somebody may have put a file there meanwhile (another copy of the program).
    if (QFile::exists(destino.filePath()))
        QFile::remove(destino.filePath());
    if (!temporario.rename(destino.filePath())) {
        *erro = QStringLiteral("Não foi possível gravar %1: %2")
                    .arg(QDir::toNativeSeparators(destino.filePath()), temporario.errorString());
        return FimDownload::Falhou;
    }
    temporario.setAutoRemove(false);
    return FimDownload::Concluido;
}

void Th_Download::run() {
    QString erro;
    const FimDownload fim = Baixa(&erro);
    Q_EMIT Terminado(fim, erro);
    // Only now the connection closes (QUIT and its answer), with the result already given.
    transferencia_.Encerra();
}

Th_Download* CriaDownload(const PedidoDownload& pedido) {
    QCoreApplication* app = QCoreApplication::instance();
    auto* th = new Th_Download(pedido, app);
    QObject::connect(th, &QThread::finished, th, &QObject::deleteLater);
    if (app)
        QObject::connect(app, &QCoreApplication::aboutToQuit, th, &Th_Download::Cancela,
                         Qt::DirectConnection);
    return th;
}
