#include "conexoes/AbreConexoes.h"

#include "conexoes/Conexoes.h"

void AbreEditorConexoes(QWidget* dono, int tag) {
    auto* editor = new TFrmConexoes(dono);
    editor->Tag = tag;
    // Freed when its modal run ends.
    editor->setAttribute(Qt::WA_DeleteOnClose);
    editor->exec();
}
