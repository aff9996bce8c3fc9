#pragma once

#include <QObject>

class TServicoSeguranca;

// Data module with the client of the local database server's security service. It creates the
// suite's database user; the settings panel makes one for a single click and frees it at once.
class TFDMIBSecurity : public QObject {
    Q_OBJECT
public:
    explicit TFDMIBSecurity(QObject* dono = nullptr);
    ~TFDMIBSecurity() override;

    // The security service of the server on this machine, 127.0.0.1:service_mgr, logged in as
    // the database administrator.
    TServicoSeguranca* const IBSecurityService;

public Q_SLOTS:
    // Makes sure the user VELTO exists on the local server (adds it when the server lists no
    // user of that name, in any letter case) and says how it went in a message box. Never
    // lets an error escape.
    void CriaUsuarioVELTO();
};

// The data module while it exists (set when created, cleared when freed).
extern TFDMIBSecurity* FDMIBSecurity;
