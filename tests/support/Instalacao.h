#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

// A temporary installation folder for a test: <temp>/<subpastas>/<nome>, removed with the
// object. Files are written as raw bytes, so a test states exactly what is on disk.
class Instalacao {
public:
    explicit Instalacao(const QString& nome = QStringLiteral("EMPRESA"));

    bool Valida() const { return raiz_.isValid() && QDir(pasta_).exists(); }
    // The folder, without a trailing separator.
    const QString& Pasta() const { return pasta_; }
    QString Caminho(const QString& arquivo) const { return pasta_ + u'/' + arquivo; }

    void Grava(const QString& arquivo, const QByteArray& bytes) const;
    QByteArray Le(const QString& arquivo) const;
    // Copies the real program into the folder and returns the copy's path.
    QString CopiaPrograma(const QString& nome = QStringLiteral("Gerenciador")) const;

private:
    QTemporaryDir raiz_;
    QString pasta_;
};

// The real program built with the tests (GERENCIADOR_BIN, set by CTest), in the platform's
// spelling (Z:\... under Wine).
QString CaminhoPrograma();

// The module stand-in built with the tests (GERENCIADOR_MODULO_FALSO, set by CTest); see
// tests/auxiliar/ModuloFalso.cpp for what it does.
QString CaminhoModuloFalso();
