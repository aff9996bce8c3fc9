#include "conexoes/NavegadorRede.h"

#include "conexoes/DescobertaWs.h"
#include "conexoes/SondaServidores.h"

#include <QLoggingCategory>
#include <QNetworkInterface>
#include <algorithm>

Q_LOGGING_CATEGORY(lcRede, "gerenciador.rede")

namespace {
FabricaNavegadorRede& Fabrica() {
    static FabricaNavegadorRede fabrica;
    return fabrica;
}
} // namespace

std::unique_ptr<NavegadorRede> CriaNavegadorRede(QObject* pai) {
    return Fabrica() ? Fabrica()(pai) : CriaNavegadorRedePlataforma(pai);
}

void DefineCriaNavegadorRede(FabricaNavegadorRede fabrica) {
    Fabrica() = std::move(fabrica);
}

NavegadorRede::NavegadorRede(QObject* pai) : QObject(pai) {}

NavegadorRede::~NavegadorRede() = default;

void NavegadorRede::Avista(const QString& chave, const QString& nome, const QString& grupo,
                           int fonte, const QHostAddress& endereco) {
    if (nome.isEmpty())
        return;
    if (nome.size() > kMaxNome || grupo.size() > kMaxNome) {
        if (!nomeLongoDito_)
            qCInfo(lcRede) << "machine names over" << kMaxNome << "characters are dropped";
        nomeLongoDito_ = true;
        return;
    }
    const QString id = nome.toCaseFolded();
    const auto anterior = avistamentos_.constFind(chave);
    QString idAnterior;
    if (anterior != avistamentos_.cend() && anterior->id != id) {
        idAnterior = anterior->id;
        chavesPorMaquina_[idAnterior].removeOne(chave);
    }
    Avistamento& a = avistamentos_[chave];
    if (a.id != id)
        chavesPorMaquina_[id].append(chave);
    a = Avistamento{id, nome, grupo, fonte, ++contador_, endereco};
    const auto idade = idade_.constFind(id);
    if (idade != idade_.cend())
        porIdade_.erase(*idade);
    idade_.insert(id, contador_);
    porIdade_.emplace(contador_, id);
    if (!idAnterior.isEmpty())
        Atualiza(idAnterior);

    QList<QString>& chaves = chavesPorMaquina_[id];
    if (chaves.size() > kMaxAvistamentosPorMaquina) {
        const auto velha = std::min_element(
            chaves.cbegin(), chaves.cend(), [this](const QString& x, const QString& y) {
                return avistamentos_.value(x).ordem < avistamentos_.value(y).ordem;
            });
        avistamentos_.remove(*velha);
        chaves.erase(velha);
    }
    Atualiza(id);
    if (idade_.size() > kMaxMaquinas) {
        if (!excessoDito_)
            qCInfo(lcRede) << "more than" << kMaxMaquinas
                           << "machines: those unseen the longest are dropped";
        excessoDito_ = true;
        const QString esquecida = porIdade_.cbegin()->second;
        for (const QString& chave : chavesPorMaquina_.value(esquecida))
            avistamentos_.remove(chave);
        chavesPorMaquina_[esquecida].clear();
        Atualiza(esquecida);
    }
    if (endereco.protocol() == QAbstractSocket::IPv4Protocol && mostradas_.contains(id))
        Sonda(id, endereco);
}

void NavegadorRede::Perde(const QString& chave) {
    const auto a = avistamentos_.constFind(chave);
    if (a == avistamentos_.cend())
        return;
    const QString id = a->id;
    avistamentos_.erase(a);
    chavesPorMaquina_[id].removeOne(chave);
    Atualiza(id);
}

void NavegadorRede::PerdeTodos(const QString& prefixo) {
    QStringList chaves;
    for (auto a = avistamentos_.cbegin(); a != avistamentos_.cend(); ++a)
        if (a.key().startsWith(prefixo))
            chaves.append(a.key());
    for (const QString& chave : chaves)
        Perde(chave);
}

DescobertaWs* NavegadorRede::IniciaDescobertaWs() {
    auto* ws = new DescobertaWs(this);
    connect(ws, &DescobertaWs::Visto, this,
            [this](const QString& chave, const QString& nome, const QString& grupo,
                   const QHostAddress& origem) {
                Avista(QStringLiteral("wsd:") + chave, nome, grupo, kGrupoDeclarado, origem);
            });
    connect(ws, &DescobertaWs::Perdido, this,
            [this](const QString& prefixo) { PerdeTodos(QStringLiteral("wsd:") + prefixo); });
    ws->Inicia();
    return ws;
}

QList<NavegadorRede::Maquina> NavegadorRede::Maquinas() const {
    return mostradas_.values();
}

NavegadorRede::RespostaServidor NavegadorRede::RespostaFirebird(const QString& nome) const {
    return firebird_.value(nome.toCaseFolded()).resposta;
}

QList<NavegadorRede::Maquina> NavegadorRede::ServidoresFirebird() const {
    QList<Maquina> r;
    for (auto f = firebird_.cbegin(); f != firebird_.cend(); ++f)
        if (f->resposta.ms >= 0 && mostradas_.contains(f.key()))
            r.append(mostradas_.value(f.key()));
    return r;
}

QHostAddress NavegadorRede::EnderecoConhecido(const QString& nome) const {
    QList<std::pair<QHostAddress, int>> redes;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces())
        if ((i.flags() & QNetworkInterface::IsUp) && !(i.flags() & QNetworkInterface::IsLoopBack))
            for (const QNetworkAddressEntry& e : i.addressEntries())
                if (e.ip().protocol() == QAbstractSocket::IPv4Protocol)
                    redes.append({e.ip(), e.prefixLength()});
    const Avistamento* melhor = nullptr;
    for (const QString& chave : chavesPorMaquina_.value(nome.toCaseFolded())) {
        const auto a = avistamentos_.constFind(chave);
        if (a != avistamentos_.cend() && (!melhor || a->ordem > melhor->ordem) &&
            SondaServidores::Aceitavel(a->endereco, redes))
            melhor = &*a;
    }
    return melhor ? melhor->endereco : QHostAddress();
}

void NavegadorRede::Sonda(const QString& id, const QHostAddress& endereco) {
    // Once while the machine stays: the first address it is seen at.
    if (firebird_.contains(id))
        return;
    if (!sonda_) {
        sonda_ = new SondaServidores(this);
        connect(sonda_, &SondaServidores::Respondeu, this, &NavegadorRede::Respondeu);
    }
    const quint64 bilhete = ++contador_;
    firebird_.insert(id, Firebird{bilhete, {-1, 0, endereco}});
    bilhetes_.insert(bilhete, id);
    sonda_->Pede(bilhete, endereco);
}

void NavegadorRede::Respondeu(quint64 bilhete, bool firebird, int protocolo, qint64 ms) {
    const QString id = bilhetes_.take(bilhete);
    const auto f = firebird_.find(id);
    if (!firebird || f == firebird_.end() || f->bilhete != bilhete)
        return;
    f->resposta.ms = ms;
    f->resposta.protocolo = protocolo;
    const auto m = mostradas_.constFind(id);
    if (m != mostradas_.cend())
        Q_EMIT ServidorFirebird(m->grupo, m->nome, protocolo, ms);
}

std::optional<NavegadorRede::Maquina> NavegadorRede::Visao(const QString& id) const {
    const Avistamento* escolhido = nullptr;
    for (const QString& chave : chavesPorMaquina_.value(id)) {
        const auto achado = avistamentos_.constFind(chave);
        if (achado == avistamentos_.cend())
            continue;
        const Avistamento& a = *achado;
        if (!escolhido || a.fonte > escolhido->fonte)
            escolhido = &a;
        else if (a.fonte == escolhido->fonte &&
                 (a.fonte == kDominioNomes ? a.ordem < escolhido->ordem
                                           : a.ordem > escolhido->ordem))
            escolhido = &a;
    }
    if (!escolhido)
        return std::nullopt;
    return Maquina{escolhido->grupo, escolhido->nome};
}

void NavegadorRede::Atualiza(const QString& id) {
    const std::optional<Maquina> agora = Visao(id);
    const auto antes = mostradas_.constFind(id);
    const bool havia = antes != mostradas_.cend();
    if (havia && agora && *antes == *agora)
        return;
    if (havia) {
        const Maquina velha = *antes;
        mostradas_.erase(antes);
        Q_EMIT MaquinaRemovida(velha.grupo, velha.nome);
    }
    if (agora) {
        mostradas_.insert(id, *agora);
        Q_EMIT MaquinaAdicionada(agora->grupo, agora->nome);
    } else {
        Esquece(id);
    }
}

void NavegadorRede::Esquece(const QString& id) {
    chavesPorMaquina_.remove(id);
    const auto f = firebird_.constFind(id);
    if (f != firebird_.cend()) {
        // Gone before its turn: not tried; its answer, if under way, is dropped.
        if (bilhetes_.remove(f->bilhete))
            sonda_->Desiste(f->bilhete);
        firebird_.erase(f);
    }
    const auto idade = idade_.constFind(id);
    if (idade != idade_.cend()) {
        porIdade_.erase(*idade);
        idade_.erase(idade);
    }
}
