#include "support/Instalacao.h"

#include "conexoes/NavegadorRede.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace {
// Test programs never browse the real network: a connection editor they open gets a browser
// with no source (tests that browse do it inside network namespaces of their own).
const bool kRedeCalada = [] {
    DefineCriaNavegadorRede([](QObject* pai) { return std::make_unique<NavegadorRede>(pai); });
    return true;
}();
} // namespace

Instalacao::Instalacao(const QString& nome) {
    pasta_ = raiz_.path() + u'/' + nome;
    QDir().mkpath(pasta_);
}

void Instalacao::Grava(const QString& arquivo, const QByteArray& bytes) const {
    QFile f(Caminho(arquivo));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        QTest::qFail(qPrintable(QStringLiteral("não gravou ") + f.fileName()), __FILE__, __LINE__);
}

QByteArray Instalacao::Le(const QString& arquivo) const {
    QFile f(Caminho(arquivo));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString Instalacao::CopiaPrograma(const QString& nome) const {
    QString destino = Caminho(nome);
#ifdef Q_OS_WIN
    if (!destino.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive))
        destino += QLatin1String(".exe");
#endif
    QFile::remove(destino);
    if (!QFile::copy(CaminhoPrograma(), destino))
        QTest::qFail(qPrintable(QStringLiteral("não copiou o programa para ") + destino), __FILE__,
                     __LINE__);
    return destino;
}

// In the platform's spelling: under Wine CTest hands over Z:/... and the program's own paths
// have backslashes.
QString CaminhoPrograma() {
    return QDir::toNativeSeparators(qEnvironmentVariable("GERENCIADOR_BIN"));
}

QString CaminhoModuloFalso() {
    return QDir::toNativeSeparators(qEnvironmentVariable("GERENCIADOR_MODULO_FALSO"));
}
