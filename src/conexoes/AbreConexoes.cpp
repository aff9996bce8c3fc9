#include "conexoes/AbreConexoes.h"

#include "conexoes/Conexoes.h"

void AbreEditorConexoes(const DadosInstalacao& instalacao, OperacoesPrincipal* principal,
                        QWidget* dono, int tag) {
    auto* editor = new TFrmConexoes(instalacao, principal, dono);
    editor->Tag = tag;
    // Freed when its modal run ends.
    editor->setAttribute(Qt::WA_DeleteOnClose);
    editor->exec();
}
