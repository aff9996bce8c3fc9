#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The network lab of tests/auxiliar/laboratorio_rede.sh for one test program: namespaces A
// (198.51.100.1) and B (198.51.100.2) named after the program's pid, each with its D-Bus bus and
// avahi daemon, wsdd in B. Needs root; taken down with the object.
class LaboratorioRede {
public:
    LaboratorioRede();
    ~LaboratorioRede();

    // Brings the lab up; false with the script's output.
    bool Sobe(QString* motivo);
    // Takes it down now (else the destructor does); false when the script failed.
    bool Desce();
    // Runs the lab script with one command and `ambiente` added; false with its output.
    bool Comando(const QStringList& argumentos, const QStringList& ambiente = {},
                 QString* saida = nullptr) const;

    QString Ns(char lado) const;
    QString Veth(char lado) const;
    QString Barramento(char lado) const;
    // The lab's state folder: the daemons' sockets, pid files and logs.
    QString Pasta() const { return pasta_; }

private:
    QTemporaryDir raiz_;
    QString pasta_;
    QString sufixo_;
    bool de_pe_ = false;
};

// A program run inside one of the lab's namespaces (ip netns exec becomes it), with the
// namespace's D-Bus bus and the offscreen platform; stopped by its own pid.
class ProcessoLab {
public:
    ProcessoLab(const LaboratorioRede& lab, char lado, const QStringList& comando);
    ~ProcessoLab() { Para(); }

    // Stdout lines so far.
    const QStringList& Linhas();
    // Waits for a line ending in `fim` (matching it, with `padrao`), among the lines after
    // the first `desde`; the line, or empty.
    QString Espera(const QString& fim, int ms = 15000, qsizetype desde = 0, bool padrao = false);
    // A line to the program's input, sent at once.
    void Escreve(const QByteArray& linha) {
        p_.write(linha + '\n');
        p_.waitForBytesWritten(5000);
    }
    QString Erros();
    // Ends the program: closing its input, or SIGTERM. Its exit code (-1: it had to be killed
    // or it crashed).
    int Para(bool pelaEntrada = false);

private:
    QProcess p_;
    QStringList linhas_;
    QString erros_;
};
