#include "menu/ThDownload.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QUrl>
#include <memory>

namespace {

// The server's words go into a message box: this many characters at most.
constexpr qsizetype kMaxTextoServidor = 300;

// The temporary file, unbuffered: every write reaches the system at once, so that a write
// that falls short is seen where it happens and its cause (errno) is not lost in a buffer.
class ArquivoParcial : public QTemporaryFile {
public:
    using QTemporaryFile::QTemporaryFile;
    bool Abre() { return open(QIODevice::ReadWrite | QIODevice::Unbuffered); }
};

struct Recepcao {
    QFile* arquivo = nullptr;
    const TransferenciaCurl* transferencia = nullptr;
    std::atomic<qint64>* recebidos = nullptr;
    std::atomic<qint64>* tamanho = nullptr;
    QString erroGravacao;   // why the file could not take the data
    QByteArray ultimaLinha; // the server's last reply line, its first bytes only
    bool linhaCortada = false;
    qint64 anunciado = -1; // the size the server announced (-1: none)
    bool excedeu = false;  // the server sent more than it announced
};

// The size in a reply to SIZE ("213 100000"), or in the "(100000 bytes)" of the reply that
// opens the transfer; -1 when the line tells none.
qint64 TamanhoAnunciado(const QByteArray& linha) {
    bool ok = false;
    qint64 n = -1;
    if (linha.startsWith("213 ")) {
        n = linha.mid(4).trimmed().toLongLong(&ok);
    } else if (linha.startsWith("150") || linha.startsWith("125")) {
        const qsizetype fim = linha.lastIndexOf(" bytes)");
        const qsizetype inicio = fim < 0 ? -1 : linha.lastIndexOf('(', fim);
        if (inicio >= 0)
            n = linha.mid(inicio + 1, fim - inicio - 1).toLongLong(&ok);
    }
    return ok && n >= 0 ? n : -1;
}

size_t Grava(char* dados, size_t tamanho, size_t n, void* usuario) {
    auto* r = static_cast<Recepcao*>(usuario);
    const qint64 total = qint64(tamanho * n);
    // Beyond the announced size the file is not the one announced: stop at once rather than
    // take whatever the server goes on sending.
    if (r->anunciado >= 0 && r->recebidos->load() + total > r->anunciado) {
        r->excedeu = true;
        return 0;
    }
    // A short write is no error yet: the rest is written again, and the write that then takes
    // nothing says why (a full disk: "No space left on device").
    for (qint64 feito = 0; feito < total;) {
        const qint64 escritos = r->arquivo->write(dados + feito, total - feito);
        if (escritos <= 0) {
            r->erroGravacao = r->arquivo->errorString();
            return 0; // stops the transfer
        }
        feito += escritos;
    }
    r->recebidos->fetch_add(total);
    return size_t(total);
}

size_t Resposta(char* dados, size_t tamanho, size_t n, void* usuario) {
    auto* r = static_cast<Recepcao*>(usuario);
    // Only the first bytes are kept: a hostile server may send a line of any length.
    constexpr size_t kGuardados = 4 * kMaxTextoServidor;
    const QByteArray linha = QByteArray(dados, qsizetype(qMin(tamanho * n, kGuardados))).trimmed();
    if (!linha.isEmpty()) {
        r->ultimaLinha = linha;
        r->linhaCortada = tamanho * n > kGuardados;
        const qint64 anunciado = TamanhoAnunciado(linha);
        if (anunciado >= 0 && (r->anunciado < 0 || linha.startsWith("213"))) {
            r->anunciado = anunciado;
            r->tamanho->store(anunciado);
        }
    }
    return tamanho * n;
}

int Progresso(void* usuario, curl_off_t total, curl_off_t, curl_off_t, curl_off_t) {
    auto* r = static_cast<Recepcao*>(usuario);
    if (total > 0)
        r->tamanho->store(total);
    // libcurl asks at least once a second, also while it waits inside a call for a server's
    // reply (the "226" after the data), where Abortar() cannot wake it.
    return r->transferencia->Abortada() ? 1 : 0;
}

// A server's reply line as the warning shows it: at most kMaxTextoServidor characters, and
// said to be cut when it was longer.
QString TextoServidor(const QByteArray& linha, bool cortada) {
    QString texto = QString::fromUtf8(linha);
    if (texto.size() > kMaxTextoServidor) {
        texto.truncate(kMaxTextoServidor);
        cortada = true;
    }
    return cortada ? texto + QStringLiteral("… (resposta do servidor cortada)") : texto;
}

QString Excedeu(qint64 anunciado) {
    return QStringLiteral("O servidor enviou mais bytes do que os %1 que anunciou: o arquivo "
                          "recebido não é o anunciado.")
        .arg(anunciado);
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
    ArquivoParcial temporario(destino.absolutePath() + u'/' + destino.fileName() +
                              QStringLiteral(".XXXXXX.parcial"));
    temporario.setAutoRemove(true); // until it takes the program's name
    if (!temporario.Abre()) {
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
    recepcao.transferencia = &transferencia_;
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
    // The announced size is checked here, not by libcurl: left to itself it stops reading at
    // that size and drops what the server sends beyond it without a word. So libcurl asks no
    // size and reads to the end, and the SIZE it would have sent goes just before RETR, its
    // answer read by Resposta ('*': a server that refuses SIZE is no error).
    const QByteArray pedidoTamanho = "*SIZE " + pedido_.arquivoRemoto.toUtf8();
    std::unique_ptr<curl_slist, void (*)(curl_slist*)> antesRetr(
        c->slist_append(nullptr, pedidoTamanho.constData()), c->slist_free_all);
    c->easy_setopt(h, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
    c->easy_setopt(h, CURLOPT_PREQUOTE, antesRetr.get());
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
        if (rc == CURLE_WRITE_ERROR && recepcao.excedeu) {
            *erro = Excedeu(recepcao.anunciado);
        } else if (rc == CURLE_WRITE_ERROR && !recepcao.erroGravacao.isEmpty()) {
            *erro =
                QStringLiteral("Não foi possível gravar %1: %2")
                    .arg(QDir::toNativeSeparators(temporario.fileName()), recepcao.erroGravacao);
        } else {
            *erro = TextoCurl(c, h, rc, buffer);
            if (recebidos_.load() > 0 && recebidos_.load() < recepcao.anunciado)
                *erro += QStringLiteral(" (%1 de %2 bytes)")
                             .arg(recebidos_.load())
                             .arg(recepcao.anunciado);
            // The server's own words, when its last reply refused something.
            if (recepcao.ultimaLinha.startsWith('4') || recepcao.ultimaLinha.startsWith('5'))
                *erro += u'\r' + TextoServidor(recepcao.ultimaLinha, recepcao.linhaCortada);
        }
        return FimDownload::Falhou;
    }

    // Complete only when every byte the server announced is here, and on the disk.
    if (!temporario.flush()) {
        *erro = QStringLiteral("Não foi possível gravar %1: %2")
                    .arg(QDir::toNativeSeparators(temporario.fileName()), temporario.errorString());
        return FimDownload::Falhou;
    }
    const qint64 anunciado = recepcao.anunciado;
    const qint64 gravados = temporario.size();
    if (anunciado >= 0 && gravados > anunciado) {
        *erro = Excedeu(anunciado);
        return FimDownload::Falhou;
    }
    if (anunciado >= 0 && gravados < anunciado) {
        *erro = QStringLiteral("Arquivo recebido incompleto: %1 de %2 bytes.")
                    .arg(gravados)
                    .arg(anunciado);
        return FimDownload::Falhou;
    }
    // A Cancel that came while the file was being checked is still honoured.
    if (transferencia_.Abortada())
        return FimDownload::Cancelado;
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
