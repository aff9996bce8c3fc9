#include "conexoes/AbreConexoes.h"

// Not built yet: the editor's buttons are present and do nothing.
void AbreEditorConexoes(QWidget*, int) {}
