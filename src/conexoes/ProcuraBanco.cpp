#include "conexoes/ProcuraBanco.h"

#include "registro/RegistroConexoes.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <memory>

namespace {

constexpr qint64 kMaximoRecebido = 1 << 20; // bytes taken from a host per attach
constexpr qint64 kMaximoEnviado = 1 << 16;  // bytes of the client held while the host connects

QAtomicInt emCurso;

// How a relay's way to the host went; read by the attach's thread too.
enum class EstadoRepasse { Esperando, Conectando, Conectado, Recusado, Esgotado };
using EstadoCompartilhado = std::shared_ptr<std::atomic<EstadoRepasse>>;

// What the client library is asked: a path on the server, through a relay on this machine.
struct Tentativa {
    QString caminho;
    quint16 porta = 0;
    EstadoCompartilhado repasse;
};

class ThProcura : public QThread {
public:
    ThProcura(QList<Tentativa> tentativas, QString usuario, QString senha, QString biblioteca,
              int tempoLimiteS)
        : QThread(QCoreApplication::instance()), tentativas_(std::move(tentativas)),
          usuario_(std::move(usuario)), senha_(std::move(senha)),
          biblioteca_(std::move(biblioteca)), tempoLimiteS_(tempoLimiteS) {
        setObjectName(QStringLiteral("procura do banco"));
        emCurso.ref();
    }
    // Still running when the program ends: its attach is cut by then, so the wait is short.
    ~ThProcura() override {
        wait();
        emCurso.deref();
    }

    QList<ResultadoBanco> resultados;

protected:
    void run() override {
        for (const Tentativa& t : tentativas_) {
            const BancoDbx banco{u"127.0.0.1/%1:%2"_qs.arg(t.porta).arg(t.caminho), usuario_,
                                 senha_};
            resultados.append(
                AnexaBanco(banco, biblioteca_, tempoLimiteS_, Autenticacao::SrpCifrada));
            // The other path is worth a try only when the server answered about this one's
            // file; not when the host could not be reached or did not answer in time.
            const CausaBanco c = resultados.constLast().causa;
            const EstadoRepasse r = t.repasse->load();
            if ((c != CausaBanco::ArquivoNaoEncontrado && c != CausaBanco::Outra) ||
                r == EstadoRepasse::Recusado || r == EstadoRepasse::Esgotado)
                break;
        }
    }

private:
    const QList<Tentativa> tentativas_;
    const QString usuario_;
    const QString senha_;
    const QString biblioteca_;
    const int tempoLimiteS_;
};

} // namespace

// One attach's way to the host: a listener on 127.0.0.1 that takes one connection, connects
// to the host's port and passes the bytes both ways until either side closes, the time limit
// (counted from the client's connection) runs out or the host sends more than an attach
// needs. Deleted, it drops both connections.
class Repasse : public QObject {
public:
    using Estado = EstadoRepasse;

    Repasse(const QHostAddress& destino, quint16 porta, int tempoLimiteMs, QObject* pai)
        : QObject(pai), destino_(destino), porta_(porta) {
        limite_.setSingleShot(true);
        limite_.setInterval(tempoLimiteMs);
        connect(&limite_, &QTimer::timeout, this, [this] {
            *estado_ = Estado::Esgotado;
            Corta();
        });
        connect(&servidor_, &QTcpServer::newConnection, this, [this] { Aceita(); });
    }
    ~Repasse() override { Corta(); }

    bool Escuta() { return servidor_.listen(QHostAddress::LocalHost, 0); }
    quint16 Porta() const { return servidor_.serverPort(); }
    Estado estado() const { return *estado_; }
    const EstadoCompartilhado& Compartilhado() const { return estado_; }

private:
    void Aceita() {
        cliente_ = servidor_.nextPendingConnection();
        servidor_.close(); // one connection only
        if (!cliente_)
            return;
        cliente_->setParent(this);
        remoto_ = new QTcpSocket(this);
        *estado_ = Estado::Conectando;
        limite_.start();
        connect(cliente_, &QTcpSocket::readyRead, this, [this] {
            pendente_ += cliente_->readAll();
            if (pendente_.size() > kMaximoEnviado)
                return Corta();
            if (remoto_->state() == QAbstractSocket::ConnectedState) {
                remoto_->write(pendente_);
                pendente_.clear();
            }
        });
        connect(remoto_, &QTcpSocket::connected, this, [this] {
            *estado_ = Estado::Conectado;
            remoto_->write(pendente_);
            pendente_.clear();
        });
        connect(remoto_, &QTcpSocket::readyRead, this, [this] {
            const QByteArray bytes = remoto_->readAll();
            recebidos_ += bytes.size();
            if (recebidos_ > kMaximoRecebido)
                return Corta();
            cliente_->write(bytes);
        });
        // Noted before the client's connection is dropped (the next handler), so that the
        // attach's thread finds it once its attach fails.
        connect(remoto_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
            if (*estado_ == Estado::Conectando)
                *estado_ = Estado::Recusado;
        });
        // Either side gone: what the other side was sent still goes out, then it closes.
        connect(remoto_, &QTcpSocket::disconnected, this, [this] {
            if (cliente_)
                cliente_->disconnectFromHost();
        });
        connect(cliente_, &QTcpSocket::disconnected, this, [this] {
            if (remoto_)
                remoto_->disconnectFromHost();
        });
        connect(remoto_, &QTcpSocket::errorOccurred, cliente_, [this] {
            if (remoto_->state() == QAbstractSocket::UnconnectedState)
                cliente_->disconnectFromHost();
        });
        remoto_->connectToHost(destino_, porta_);
    }

    void Corta() {
        servidor_.close();
        limite_.stop();
        for (QTcpSocket* s : {cliente_, remoto_})
            if (s)
                s->abort();
    }

    const QHostAddress destino_;
    const quint16 porta_;
    QTcpServer servidor_;
    QTcpSocket* cliente_ = nullptr;
    QTcpSocket* remoto_ = nullptr;
    QTimer limite_;
    QByteArray pendente_;
    qint64 recebidos_ = 0;
    EstadoCompartilhado estado_ = std::make_shared<std::atomic<Estado>>(Estado::Esperando);
};

ProcuraBanco::ProcuraBanco(QString usuario, QString senha, QString nomePasta, QString biblioteca,
                           QObject* pai)
    : QObject(pai), usuario_(std::move(usuario)), senha_(std::move(senha)),
      nomePasta_(std::move(nomePasta)), biblioteca_(std::move(biblioteca)) {}

ProcuraBanco::~ProcuraBanco() {
    // The relays go first: every attach under way fails at once.
    for (const EmVoo& e : std::as_const(emVoo_))
        qDeleteAll(e.repasses);
}

void ProcuraBanco::Pergunta(const QString& chave, const QHostAddress& endereco, quint16 porta) {
    if (conhecidas_.contains(chave))
        return;
    conhecidas_.insert(chave);
    fila_.append({chave, endereco, porta});
    Despacha();
    Q_EMIT Andamento();
}

QList<std::pair<QString, QString>> ProcuraBanco::Caminhos(const QString& servidor,
                                                          const QString& nomePasta) {
    QList<std::pair<QString, QString>> r;
    for (const QString& tipo : {QStringLiteral("Linux"), QStringLiteral("Windows")})
        r.append({tipo, RegistroConexoes::MontaDatabase(servidor, tipo, nomePasta)});
    return r;
}

const ResultadoProcura& ProcuraBanco::Melhor(const ResultadoProcura& a, const ResultadoProcura& b) {
    const auto ordem = [](CausaBanco c) {
        switch (c) {
        case CausaBanco::Conectado:
            return 0;
        case CausaBanco::LoginRecusado:
            return 1;
        case CausaBanco::CriptografiaRecusada:
            return 2;
        case CausaBanco::ArquivoNaoEncontrado:
            return 3;
        default:
            return 4;
        }
    };
    return ordem(b.banco.causa) < ordem(a.banco.causa) ? b : a;
}

void ProcuraBanco::Despacha() {
    while (emVoo_.size() < kEmVoo && !fila_.isEmpty()) {
        const Pedido p = fila_.takeFirst();
        ++perguntados_;
        const quint64 trabalho = ++contador_;
        EmVoo& e = emVoo_[trabalho];
        e.chave = p.chave;
        QList<Tentativa> tentativas;
        for (const auto& [tipo, database] : Caminhos(p.endereco.toString(), nomePasta_)) {
            ResultadoProcura r;
            r.tipo = tipo;
            r.database = database;
            auto* repasse = new Repasse(p.endereco, p.porta, TempoLimiteS * 1000, this);
            e.repasses.append(repasse);
            e.tentativas.append(r);
            if (repasse->Escuta())
                tentativas.append({InterpretaDatabase(database).caminho, repasse->Porta(),
                                   repasse->Compartilhado()});
        }
        if (tentativas.size() < e.tentativas.size()) { // no listener on this machine's loopback
            QTimer::singleShot(0, this, [this, trabalho] {
                ResultadoBanco r;
                r.detalhe = QStringLiteral("sem porta local para a conexão");
                Conclui(trabalho, {r});
            });
            continue;
        }
        auto* th = new ThProcura(tentativas, usuario_, senha_, biblioteca_, TempoLimiteS);
        // Queued to this object's thread; dropped with the connection when it is gone.
        connect(th, &QThread::finished, this,
                [this, th, trabalho] { Conclui(trabalho, th->resultados); });
        connect(th, &QThread::finished, th, &QObject::deleteLater);
        th->start();
    }
}

void ProcuraBanco::Conclui(quint64 trabalho, QList<ResultadoBanco> resultados) {
    EmVoo e = emVoo_.take(trabalho);
    const ResultadoProcura* melhor = nullptr;
    for (qsizetype i = 0; i < resultados.size() && i < e.tentativas.size(); ++i) {
        ResultadoProcura& t = e.tentativas[i];
        t.banco = resultados[i];
        // The client saw only its relay: what happened on the way to the host is the relay's.
        const bool rede = t.banco.causa == CausaBanco::Outra ||
                          t.banco.causa == CausaBanco::SemResposta ||
                          t.banco.causa == CausaBanco::PortaFechada;
        if (rede && e.repasses[i]->estado() == Repasse::Estado::Recusado)
            t.banco = {CausaBanco::PortaFechada};
        else if (rede && e.repasses[i]->estado() == Repasse::Estado::Esgotado)
            t.banco = {CausaBanco::SemResposta};
        melhor = melhor ? &Melhor(*melhor, t) : &t;
    }
    qDeleteAll(e.repasses);
    if (melhor) {
        if (melhor->banco.causa == CausaBanco::Conectado)
            ++encontrados_;
        Q_EMIT Respondeu(e.chave, *melhor);
    }
    Despacha();
    Q_EMIT Andamento();
}

int ProcurasEmCurso() {
    return emCurso.loadAcquire();
}
