#pragma once

#include "conexoes/VerificaBanco.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

class Repasse;

// One machine's answer to the search: the attach (or its cause), the "Tipo" of the path it was
// made with, and the "Database" that the switch would write for the machine (its address).
struct ResultadoProcura {
    ResultadoBanco banco;
    QString tipo;
    QString database;
};

// Which machines hold the edition's database: each machine asked is attached (AnexaBanco, SRP
// and wire encryption only) at the path the switch would write for it, first as a Linux
// server, then as a Windows one while the first path found no such file. At most kEmVoo
// machines at once, each on a thread of its own. Every attach goes through a relay of this
// object on 127.0.0.1 that cuts it kTempoLimiteS after it began: the client library's own
// time-out bounds only the connection, and a host that stops answering afterwards would hold
// the thread for a minute. Deleting the object cuts what is under way; the threads then end at
// once and their answers are dropped.
class ProcuraBanco : public QObject {
    Q_OBJECT
public:
    static constexpr int kEmVoo = 2;
    static constexpr int kTempoLimiteS = 5;

    // The edition's User_Name and Password, the program's folder name (the path's folder and
    // its file) and the client library.
    ProcuraBanco(QString usuario, QString senha, QString nomePasta, QString biblioteca,
                 QObject* pai = nullptr);
    ~ProcuraBanco() override;

    int TempoLimiteS = kTempoLimiteS; // of each attach (tests shorten it)

    // Asks the machine `chave` at `endereco`, in its turn; a machine already asked or waiting
    // is not asked again.
    void Pergunta(const QString& chave, const QHostAddress& endereco, quint16 porta = 3050);

    // Machines whose asking began; all machines asked or waiting; those that hold the database.
    int Perguntados() const { return perguntados_; }
    int Total() const { return perguntados_ + int(fila_.size()); }
    int Encontrados() const { return encontrados_; }
    bool Concluida() const { return fila_.isEmpty() && emVoo_.isEmpty(); }

    // The "Tipo" and "Database" of each path asked of a machine, in order: what the switch
    // writes for a Linux and for a Windows server (RegistroConexoes::MontaDatabase).
    static QList<std::pair<QString, QString>> Caminhos(const QString& servidor,
                                                       const QString& nomePasta);
    // Of the answers of a machine's two paths, the one to show: the attach, else the refused
    // user, else refused encryption, else the missing file, else the first.
    static const ResultadoProcura& Melhor(const ResultadoProcura& a, const ResultadoProcura& b);

Q_SIGNALS:
    void Respondeu(const QString& chave, const ResultadoProcura& resultado);
    // A count changed.
    void Andamento();

private:
    struct Pedido {
        QString chave;
        QHostAddress endereco;
        quint16 porta = 3050;
    };
    struct EmVoo {
        QString chave;
        QList<ResultadoProcura> tentativas; // Linux, Windows
        QList<Repasse*> repasses;
    };
    void Despacha();
    void Conclui(quint64 trabalho, QList<ResultadoBanco> resultados);

    const QString usuario_;
    const QString senha_;
    const QString nomePasta_;
    const QString biblioteca_;
    QList<Pedido> fila_;
    QSet<QString> conhecidas_;
    QHash<quint64, EmVoo> emVoo_;
    quint64 contador_ = 0;
    int perguntados_ = 0;
    int encontrados_ = 0;
};

// How many of the search's threads are still running (each ends at once once its attach is
// cut or answered).
int ProcurasEmCurso();
