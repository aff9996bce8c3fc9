#pragma once

#include "common/Plataforma.h"

#include <QString>

// The program's run, once the application object exists: decides the edition from the folder
// of the executable, refuses a second copy of the same edition, creates the main window, gives
// it its title and turns the message loop until the window closes. Returns the exit code.
int ExecutaGerenciador(const QString& caminhoExecutavel = Plataforma::CaminhoExecutavel());
