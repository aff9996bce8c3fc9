// Shows the download's progress window for a screenshot (bench/progresso.sh): "Suporte Remoto"
// of an EMPRESA installation in a temporary folder, against the FTP server on 127.0.0.1 at the
// port given. Ends when the download does.
//
//   mostra_progresso PORT
#include "common/Plataforma.h"
#include "menu/FerramentasSuporte.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QTemporaryDir raiz;
    const QString pasta = raiz.path() + QStringLiteral("/EMPRESA");
    QDir().mkpath(pasta);
    // The program's folder, where the tool is kept.
    const DadosInstalacao instalacao{
        Plataforma::PastaPrograma(pasta + QStringLiteral("/Gerenciador")),
        QStringLiteral("EMPRESA"), Edicao::Empresa};
    FerramentasSuporte::DefineConta({QStringLiteral("127.0.0.1"), quint16(std::atoi(argv[1])),
                                     QStringLiteral("supvestra"), QStringLiteral("K7wR4#")});
    QTimer::singleShot(0, [&instalacao] {
        FerramentasSuporte::SuporteRemoto(nullptr, instalacao);
        QCoreApplication::quit();
    });
    return app.exec();
}
