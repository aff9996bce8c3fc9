#include "startup/Inicio.h"

#include "common/Edicao.h"
#include "common/Mensagem.h"
#include "principal/Principal.h"

#include <QApplication>

int ExecutaGerenciador(const QString& caminhoExecutavel) {
    const QString titulo = TituloPrincipal(EdicaoDaPasta(NomePastaDoExecutavel(caminhoExecutavel)));

    // One running copy per edition: the copies are told apart by the main window's class and
    // title. The lock is held until the run ends; a copy that died leaves nothing behind.
    Plataforma::InstanciaUnica instancia(QLatin1String(TFrmPrincipal::staticMetaObject.className()),
                                         titulo);
    if (!instancia.Adquire()) {
        MostraMensagem(QStringLiteral("Gerenciador VELTO já está sendo executado."),
                       QStringLiteral("Gerenciador VELTO"), IconeMensagem::Informacao);
        return 0;
    }

    // The window is created under its design caption and takes the title afterwards.
    TFrmPrincipal janela(caminhoExecutavel);
    janela.setWindowTitle(titulo);
    janela.show();
    return QApplication::exec();
}
