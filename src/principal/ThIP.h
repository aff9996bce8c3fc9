#pragma once

#include "common/BibliotecaCurl.h"
#include "common/Configuracao.h"

#include <QByteArray>
#include <QString>
#include <QThread>

class QLabel;

// The public IP lookup: one HTTP GET of a what-is-my-IP page, whose <title> holds the
// caller's address, on a thread of its own at the lowest priority. The result reaches the
// UI thread through the queued signal Resultado ("Meu IP " + address, or "Meu IP não
// encontrado!").
//
// Lifetime: IniciaBuscaMeuIP makes the thread a child of the application object and frees it
// when it ends. When the program ends first (aboutToQuit, or the application object going
// away), Abortar() wakes the transfer's wait at once, whether it is resolving, connecting or
// reading, and the destructor joins the thread: quitting never waits for a slow page and never
// destroys a running thread.
class Th_IP : public QThread {
    Q_OBJECT
public:
    explicit Th_IP(QString urlPagina, QObject* parent = nullptr);
    ~Th_IP() override;

    // Asks the transfer under way to stop; the thread then ends with "não encontrado!".
    // Thread-safe.
    void Abortar();

    // The result text of a page: in the characters of its <title> (1-based positions:
    // p1 = pos("<title>") + 7, p2 = pos("</title>"), 0 when not found, letter case exact;
    // p2 - p1 characters from p1 when positive), the first run of digits and dots that
    // ValidaIP accepts (dots at its ends dropped); with no title, the whole page when it is
    // only an address (blanks around it allowed); "não encontrado!" otherwise.
    static QString IpDaPagina(const QString& pagina);

    // The page text as the lookup sees it: Windows-1252, one character per byte.
    static QString TextoDaPagina(const QByteArray& corpo);

    static constexpr qsizetype kLimiteCorpo = 1 << 20; // bytes of the page kept

Q_SIGNALS:
    void Resultado(const QString& textoRotulo);

protected:
    void run() override;

private:
    QString BuscaMeuIP();

    const QString url_;
    TransferenciaCurl transferencia_;
};

// Starts the lookup for the main window's label `lblIP` against the page `urlPagina`
// (GERENCIADOR_URL_MEU_IP in the program). Returns at once; the label gets the text when the
// answer comes, and a result that arrives after the label is gone is dropped.
Th_IP* IniciaBuscaMeuIP(QLabel* lblIP, const QString& urlPagina = Configuracao::UrlMeuIP());
