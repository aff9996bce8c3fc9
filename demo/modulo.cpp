// Stand-in for a module of the suite, for the demo installation and the tests. One program,
// copied under each module's file name (VELTOM01.EXE ...): it tells from its own file name
// which module it is, reads the database that DBXCONNECTIONS.INI beside it names for its
// edition, appends one line "name<TAB>process id<TAB>database<TAB>current folder" to
// MODULOS.LOG beside it, and shows a small window saying so.
#include "common/ArquivoIni.h"
#include "common/Plataforma.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

namespace {

QString NomeDoModulo(int numero) {
    static const char* const nomes[] = {
        "",
        "Administração do Sistema",
        "Financeiro",
        "Estoque",
        "Caixa",
        "SAC",
        "Serviço",
        "Centro Automotivo",
        "Agronegócios",
        "Produção Animal",
        "Volta às Aulas",
        "NF - Eletrônica",
        "Vendas",
        "Administração do Sistema",
        "Nascimento",
        "Casamento",
        "Óbito",
        "Firma",
        "Tabelionato",
        "Títulos",
        "Livro E",
        "Financeiro",
        "Caixa",
    };
    if (numero < 1 || numero >= int(std::size(nomes)))
        return QStringLiteral("Módulo desconhecido");
    return QString::fromUtf8(nomes[numero]);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString caminho = Plataforma::CaminhoExecutavel();
    const QString arquivo = Plataforma::UltimoComponente(caminho);
    const QString pasta = Plataforma::PastaPrograma(caminho);
    // VELTOM01 to VELTOM12 belong to the company edition, VELTOM13 to VELTOM22 to the
    // registry-office edition.
    const int numero = arquivo.mid(6, 2).toInt();
    const QString secao = numero >= 13 ? QStringLiteral("CARTÓRIO") : QStringLiteral("EMPRESA");
    const ArquivoIni dbx(pasta + QStringLiteral("DBXCONNECTIONS.INI"));
    const QString database = dbx.LeTexto(secao, QStringLiteral("Database"));

    QFile log(pasta + QStringLiteral("MODULOS.LOG"));
    if (log.open(QIODevice::Append))
        log.write((arquivo + u'\t' + QString::number(QCoreApplication::applicationPid()) + u'\t' +
                   database + u'\t' + QDir::currentPath() + u'\n')
                      .toUtf8());
    log.close();

    QWidget janela;
    janela.setWindowTitle(QStringLiteral("VELTO - ") + NomeDoModulo(numero));
    auto* layout = new QVBoxLayout(&janela);
    auto* titulo = new QLabel(NomeDoModulo(numero) + QStringLiteral(" (") + arquivo + u')');
    QFont fonte = titulo->font();
    fonte.setBold(true);
    fonte.setPointSize(fonte.pointSize() + 4);
    titulo->setFont(fonte);
    layout->addWidget(titulo);
    layout->addWidget(
        new QLabel(QStringLiteral("Conexão ") + secao + QStringLiteral(": ") +
                   (database.isEmpty() ? QStringLiteral("(sem Database)") : database)));
    layout->addWidget(new QLabel(QStringLiteral("Módulo de demonstração.")));
    janela.resize(420, 120);
    janela.show();
    return QApplication::exec();
}
