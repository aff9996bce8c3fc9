#!/usr/bin/env bash
# Firebird 3 server for the tests: installs firebird3.0-server and firebird3.0-utils without
# questions, makes the server listen on 127.0.0.1 only and gives SYSDBA the administrator
# password that the program logs in with. Leaves no server running; scripts/servicos/firebird
# starts and stops it. Quick when everything is already in place.
set -euo pipefail

senha_sysdba=plumbvext
conf=/etc/firebird/3.0/firebird.conf
seguranca=/var/lib/firebird/3.0/system/security3.fdb
marca=/var/lib/firebird/3.0/system/.gerenciador-sysdba
pidfile_servico=/run/gerenciador-firebird/firebird.pid
pidfile_init=/var/run/firebird3.0/firebird.pid

sudo=()
[[ $(id -u) == 0 ]] || sudo=(sudo)

instalado() {
    [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true) == "install ok installed" ]]
}

# A server started by the package's init script (when the machine lets maintainer scripts start
# services) is stopped by the pid in its pid file: the guardian first, then its server.
para_servidor_do_pacote() {
    [[ -s $pidfile_init ]] || return 0
    local guarda filhos p
    guarda=$(cat "$pidfile_init")
    [[ $guarda =~ ^[0-9]+$ ]] || return 0
    [[ $(readlink "/proc/$guarda/exe" 2>/dev/null || true) == /usr/sbin/fbguard ]] || return 0
    filhos=$(cat /proc/"$guarda"/task/*/children 2>/dev/null || true)
    echo "firebird: parando o servidor iniciado pelo pacote (pid $guarda)"
    "${sudo[@]}" kill -TERM "$guarda" 2>/dev/null || true
    for p in $guarda $filhos; do
        for _ in $(seq 50); do
            [[ -d /proc/$p ]] || break
            sleep 0.1
        done
        [[ -d /proc/$p ]] && "${sudo[@]}" kill -KILL "$p" 2>/dev/null || true
    done
    "${sudo[@]}" rm -f "$pidfile_init"
}

if ! instalado firebird3.0-server || ! instalado firebird3.0-utils; then
    echo "setup: instalando firebird3.0-server firebird3.0-utils"
    echo "firebird3.0-server shared/firebird/sysdba_password/first_install password $senha_sysdba" |
        "${sudo[@]}" debconf-set-selections
    "${sudo[@]}" apt-get update -qq -o DPkg::Lock::Timeout=600
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=600 \
        --no-install-recommends firebird3.0-server firebird3.0-utils
    para_servidor_do_pacote
    "${sudo[@]}" rm -f "$marca"
fi

# Listen on the loopback interface only.
if ! grep -qx 'RemoteBindAddress = 127.0.0.1' "$conf"; then
    "${sudo[@]}" sed -i -e '/^[[:space:]]*RemoteBindAddress[[:space:]]*=/d' "$conf"
    echo 'RemoteBindAddress = 127.0.0.1' | "${sudo[@]}" tee -a "$conf" >/dev/null
fi

# The SYSDBA password, set in the security database while no server holds it. The mark records
# the password already set, so later runs skip this step.
if [[ ! -f $marca || $(cat "$marca") != "$senha_sysdba" ]]; then
    if [[ -s $pidfile_servico ]] && [[ -d /proc/$(cat "$pidfile_servico") ]]; then
        echo "firebird: servidor de testes em execução; rode 'scripts/servicos/firebird stop'" \
            "e de novo scripts/setup para definir a senha do SYSDBA" >&2
        exit 1
    fi
    para_servidor_do_pacote
    echo "create or alter user SYSDBA password '$senha_sysdba' using plugin Srp; commit;" |
        "${sudo[@]}" setpriv --reuid=firebird --regid=firebird --init-groups \
            isql-fb -q -user SYSDBA "$seguranca"
    echo "$senha_sysdba" | "${sudo[@]}" tee "$marca" >/dev/null
    echo "firebird: senha do SYSDBA definida"
fi
