#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>

// The machines of the local network, as the connection editor's tree shows them: each one by
// its name, under its workgroup or domain. A platform's browser reports what its sources see
// (Avista, Perde); a machine seen by several sources, or on several interfaces, is one machine,
// and it goes when the last sighting goes. A machine seen at an address is tried once on the
// Firebird port (again when it comes back after leaving); one that answers as a Firebird server
// is marked. Everything but those tries runs on the thread that owns the object.
class DescobertaWs;
class SondaServidores;

class NavegadorRede : public QObject {
    Q_OBJECT
public:
    explicit NavegadorRede(QObject* pai = nullptr);
    ~NavegadorRede() override;

    // Starts browsing; the machines arrive later through the signals. The base browser has no
    // source of its own.
    virtual void Inicia() {}

    // Whose word a sighting's group is, from the weakest: a mere naming domain (the "local" of
    // mDNS), the workgroup or domain a machine states (WS-Discovery), our own workgroup given to
    // the computers of the Windows shell's network folder, the Windows network's own list. A
    // machine shows under the group of its strongest sighting (the earliest naming domain, the
    // latest of the others), whatever the letter case of the names its sources give.
    enum Fonte : int {
        kDominioNomes = 0,
        kGrupoDeclarado = 1,
        kGrupoProprio = 2,
        kRedeWindows = 3
    };

    // A source's sighting `chave` (unique per source, interface and record) of the machine
    // `nome`, in `grupo` (its workgroup or domain), as `fonte` knows it. Seeing the same key
    // again updates it. `endereco` is where the source saw the machine (a resolved record, a
    // datagram's sender; never a name looked up), if it knows.
    void Avista(const QString& chave, const QString& nome, const QString& grupo,
                int fonte = kGrupoDeclarado, const QHostAddress& endereco = {});
    // What is kept, whatever the network sends: names (and groups) up to the length of a DNS
    // name, so many machines (the one unseen longest goes first) and so many sightings of one
    // machine (its oldest goes first). What exceeds is dropped, saying so once in the log.
    static constexpr qsizetype kMaxNome = 253;
    static constexpr qsizetype kMaxMaquinas = 4000;
    static constexpr qsizetype kMaxAvistamentosPorMaquina = 16;

    // The sighting is gone; an unknown key is no error.
    void Perde(const QString& chave);
    // Every sighting whose key begins with `prefixo` is gone (a source that stopped).
    void PerdeTodos(const QString& prefixo);
    // The WS-Discovery source that both platforms' browsers run: made as this object's child,
    // its sightings reported here under keys "wsd:...", and started.
    DescobertaWs* IniciaDescobertaWs();

    struct Maquina {
        QString grupo;
        QString nome;
        friend bool operator==(const Maquina&, const Maquina&) = default;
    };
    // The machines now shown, in no particular order.
    QList<Maquina> Maquinas() const;
    // What the machine's Firebird port answered: in how many ms (-1 while no Firebird server
    // has: not tried yet, refused, silent, not Firebird, or no address known), the protocol it
    // accepted (0 when not said) and the address it was tried at.
    struct RespostaServidor {
        qint64 ms = -1;
        int protocolo = 0;
        QHostAddress endereco;
    };
    RespostaServidor RespostaFirebird(const QString& nome) const;
    // The machines shown whose Firebird port answered as a Firebird server.
    QList<Maquina> ServidoresFirebird() const;
    // The address a capture may give for the machine without a name lookup: the newest of its
    // sightings' addresses that the Firebird port could be tried at (an IPv4 host of one of
    // this machine's networks); none when no source saw it at one.
    QHostAddress EnderecoConhecido(const QString& nome) const;

Q_SIGNALS:
    void MaquinaAdicionada(const QString& grupo, const QString& nome);
    void MaquinaRemovida(const QString& grupo, const QString& nome);
    // A machine shown answered as a Firebird server on its Firebird port.
    void ServidorFirebird(const QString& grupo, const QString& nome, int protocolo, qint64 ms);

private:
    struct Avistamento {
        QString id; // the machine: its name without regard to letter case
        QString nome;
        QString grupo;
        int fonte = kGrupoDeclarado;
        quint64 ordem = 0;
        QHostAddress endereco;
    };
    // The Firebird port of a machine present: the ticket of its try, and its answer.
    struct Firebird {
        quint64 bilhete = 0;
        RespostaServidor resposta;
    };
    void Sonda(const QString& id, const QHostAddress& endereco);
    void Respondeu(quint64 bilhete, bool firebird, int protocolo, qint64 ms);
    // What the sightings of a machine make of it (see Fonte).
    std::optional<Maquina> Visao(const QString& id) const;
    void Atualiza(const QString& id);
    void Esquece(const QString& id);

    QHash<QString, Avistamento> avistamentos_;
    QHash<QString, QList<QString>> chavesPorMaquina_;
    QHash<QString, Maquina> mostradas_;
    // The machines by their latest sighting, oldest first, and that sighting's number.
    std::map<quint64, QString> porIdade_;
    QHash<QString, quint64> idade_;
    quint64 contador_ = 0;
    QHash<QString, Firebird> firebird_;
    QHash<quint64, QString> bilhetes_; // tries under way, and their machine
    SondaServidores* sonda_ = nullptr;
    bool nomeLongoDito_ = false;
    bool excessoDito_ = false;
};

// The browser of this platform (Linux: mDNS through the avahi daemon, and WS-Discovery;
// Windows: the shell's network folder), or what DefineCriaNavegadorRede put in its place.
std::unique_ptr<NavegadorRede> CriaNavegadorRede(QObject* pai = nullptr);
std::unique_ptr<NavegadorRede> CriaNavegadorRedePlataforma(QObject* pai);

// Test seam: while set, CriaNavegadorRede makes its browsers with this function (tests keep
// the editor off the real network with it). An empty function restores the platform's.
using FabricaNavegadorRede = std::function<std::unique_ptr<NavegadorRede>(QObject*)>;
void DefineCriaNavegadorRede(FabricaNavegadorRede fabrica);
