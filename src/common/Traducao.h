#pragma once

// Qt's own texts in Portuguese (standard buttons such as "Cancelar", the context menu of edit
// fields): qtbase_pt_BR.qm from the folder "translations" beside the executable (the Windows
// package carries it there), else from Qt's translations folder (Debian's
// qt6-translations-l10n). Needs the application object. False when neither has the file; the
// program then goes on with Qt's English texts.
bool CarregaTraducaoQt();
