#pragma once

struct DadosInstalacao;
class OperacoesPrincipal;
class QWidget;

// Opens the connection editor modally, owned by `dono`, in the mode `tag` (0 include,
// 1 exclude, 2 alter), and returns when it has closed.
void AbreEditorConexoes(const DadosInstalacao& instalacao, OperacoesPrincipal* principal,
                        QWidget* dono, int tag);
