#include "menu/DMIBSecurity.h"

#include "common/Mensagem.h"
#include "menu/ServicoSeguranca.h"

TFDMIBSecurity* FDMIBSecurity = nullptr;

namespace {

const char* const UsuarioSuite = "VELTO";

} // namespace

TFDMIBSecurity::TFDMIBSecurity(QObject* dono)
    : QObject(dono), IBSecurityService(new TServicoSeguranca(this)) {
    setObjectName(QStringLiteral("FDMIBSecurity"));
    IBSecurityService->NomeServidor = QStringLiteral("127.0.0.1");
    IBSecurityService->Parametros = {QStringLiteral("user_name=SYSDBA"),
                                     QStringLiteral("password=plumbvext")};
    IBSecurityService->Usuario.UserID = 0;
    IBSecurityService->Usuario.GroupID = 0;
    FDMIBSecurity = this;
}

TFDMIBSecurity::~TFDMIBSecurity() {
    if (FDMIBSecurity == this)
        FDMIBSecurity = nullptr;
}

void TFDMIBSecurity::CriaUsuarioVELTO() {
    TServicoSeguranca& servico = *IBSecurityService;
    bool certo = false;
    try {
        servico.Anexa();

        servico.Usuario.FirstName = "Vestranox";
        servico.Usuario.MiddleName = "";
        servico.Usuario.LastName = "Zidiredavaz";
        servico.Usuario.UserName = UsuarioSuite;
        servico.Senha = "dravonel";

        servico.ListaUsuarios();
        // An existing user, its password included, stays as it is.
        if (ProcuraUsuario(servico.Usuarios(), UsuarioSuite) < 0)
            servico.IncluiUsuario();

        MostraMensagem(QStringLiteral("Usuário criado com sucesso."), QStringLiteral("VELTO"),
                       IconeMensagem::Informacao);
        certo = true;
    } catch (...) {
        certo = false;
    }
    try {
        servico.Desanexa();
    } catch (...) {
        certo = false;
    }
    if (!certo)
        MostraMensagem(QStringLiteral("Erro ao criar usuário."), QStringLiteral("VELTO"),
                       IconeMensagem::Erro);
}
