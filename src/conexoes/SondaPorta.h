#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class QTcpSocket;

// Whether a host's TCP port accepts a connection, found out without blocking: the attempt
// runs in the event loop and ends with Terminou, at the latest tempoLimiteMs after the
// connection attempt began (the name lookup before it does not count).
class SondaPorta : public QObject {
    Q_OBJECT
public:
    enum class Resultado { Aceita, Recusada, Falhou, SemResposta, HostDesconhecido };
    Q_ENUM(Resultado)

    SondaPorta(QString host, quint16 porta, int tempoLimiteMs, QObject* pai = nullptr);

    void Inicia();

Q_SIGNALS:
    // Once per probe; ms is the time from the start of the connection attempt.
    void Terminou(SondaPorta::Resultado resultado, qint64 ms);

private:
    void Conclui(Resultado resultado);

    const QString host_;
    const quint16 porta_;
    QTcpSocket* socket_;
    QTimer limite_;
    QElapsedTimer relogio_;
    bool concluida_ = false;
};

// The firebird port the ping form tries after each run, and how long it waits.
inline constexpr quint16 kPortaFirebird = 3050;
inline constexpr int kTempoLimitePortaMs = 2000;

// The line the ping form adds for a probe: "Porta 3050 (Firebird) em HOST: aceita conexão em
// 3 ms" ("<1 ms" below a millisecond), "conexão recusada", "não aceita conexão" or "sem
// resposta"; empty for a host that does not resolve (no line).
QString FormataLinhaPorta(const QString& host, quint16 porta, SondaPorta::Resultado resultado,
                          qint64 ms);
