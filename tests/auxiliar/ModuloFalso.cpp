// A stand-in for a suite module, for tests of program starts, the single-instance lock and
// file sharing. Console program; every mode answers on its standard output.
//
//   ModuloFalso [qualquer coisa]      writes <its own name without extension>.marca beside
//                                     itself (UTF-8): the current folder on the first line, then
//                                     each argument it was given, argv[0] included, one a line;
//                                     then, while <name>.espera exists beside it, waits
//   ModuloFalso trava CLASSE TITULO   takes the single-instance lock, prints 1 (taken) or 0,
//                                     and keeps it until its input closes
//   ModuloFalso cliente               loads the Firebird client by its plain file name, as the
//                                     program does, and prints 1 (loaded) or 0
//   ModuloFalso segura ARQUIVO MODO   opens ARQUIVO and keeps it open until its input closes,
//                                     printing 1 (open) or 0; MODO "escrita" lets others read and
//                                     write it, "leitura" only read it (delete sharing never)
#include "Segura.h"
#include "common/ClienteFirebird.h"
#include "common/Plataforma.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>
#include <cstdio>

namespace {

void Responde(bool ok) {
    std::printf("%d\n", ok ? 1 : 0);
    std::fflush(stdout);
}

void EsperaEntradaFechar() {
    while (std::getchar() != EOF) {
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();

    if (args.size() == 4 && args[1] == QLatin1String("trava")) {
        Plataforma::InstanciaUnica trava(args[2], args[3]);
        Responde(trava.Adquire());
        EsperaEntradaFechar();
        return 0;
    }
    if (args.size() == 2 && args[1] == QLatin1String("cliente")) {
        Responde(CarregaClienteFirebird(NomeBibliotecaClienteFirebird()) != nullptr);
        return 0;
    }
    if (args.size() == 4 && args[1] == QLatin1String("segura")) {
        Responde(SeguraArquivo(args[2], args[3] == QLatin1String("escrita")));
        EsperaEntradaFechar();
        return 0;
    }

    const QFileInfo eu(QCoreApplication::applicationFilePath());
    QSaveFile marca(eu.absolutePath() + u'/' + eu.completeBaseName() + QLatin1String(".marca"));
    if (!marca.open(QIODevice::WriteOnly))
        return 1;
    marca.write(QDir::currentPath().toUtf8() + '\n');
    for (const QString& a : args)
        marca.write(a.toUtf8() + '\n');
    if (!marca.commit())
        return 1;
    const QString espera =
        eu.absolutePath() + u'/' + eu.completeBaseName() + QLatin1String(".espera");
    while (QFile::exists(espera))
        QThread::msleep(20);
    return 0;
}
