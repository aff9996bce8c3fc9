#pragma once

class QWidget;

// Opens the connection editor modally, owned by `dono`, in the mode `tag` (0 include,
// 1 exclude, 2 alter), and returns when it has closed.
void AbreEditorConexoes(QWidget* dono, int tag);
