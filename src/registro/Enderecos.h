#pragma once

#include <QString>
#include <QStringView>
#include <functional>

class QObject;

// IPv4 addresses written as text.

// The first IPv4 address of a computer, in dotted form ("192.168.0.10"); a dotted address
// gives itself back. When nothing resolves the name it shows "Endereço de IP não
// localizado!\rVerifique o computador escolhido." (caption "Gerenciador", exclamation icon)
// and returns an empty text. Blocks until the platform's resolver answers.
QString GetIP(const QString& nomeComputador);

// GetIP without blocking the calling thread (the interface thread never waits on a name
// server): the name is resolved on a thread of its own; back on the thread of `contexto`,
// `resolvido` runs first, then GetIP's message when nothing was found, then `pronto` with
// the address (empty when none). Nothing runs when `contexto` is gone by then; a lookup that
// never ends only keeps its own thread.
void GetIPAssincrono(const QString& nomeComputador, QObject* contexto,
                     std::function<void()> resolvido, std::function<void(const QString&)> pronto);

// The shape test of a dotted address: at most 15 characters, exactly three dots and at most 3
// characters before the first dot, between two dots and after the last one. It does not look
// at the characters themselves nor at number ranges: "999.999.999.999", "A.B.C.D" and "..."
// all pass. Pure; safe on any thread.
bool ValidaIP(QStringView texto);

namespace Enderecos {
// The platform's part of GetIP (Enderecos_posix.cpp / Enderecos_win.cpp): the first IPv4
// address of the name in dotted form, or an empty text. Shows nothing; safe on any thread.
QString PrimeiroIPv4(const QString& nome);
} // namespace Enderecos
