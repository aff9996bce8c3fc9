#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

// Answers the real message boxes shown while it lives, for tests where which window is active
// matters (a recorded box never becomes a window). Each box is seen as the application's
// active modal widget, its text recorded, and closed with its OK button.
class CaixasReais : public QObject {
public:
    CaixasReais();

    // The texts shown, in order.
    const QStringList& Textos() const { return textos_; }

private:
    void Olha();

    QTimer timer_;
    QStringList textos_;
};
