#!/usr/bin/env bash
# Firebird 3 server for the tests: installs firebird3.0-server and firebird3.0-utils without
# questions, makes the server listen on 127.0.0.1 only and gives SYSDBA the administrator
# password that the program logs in with. Leaves no server running; scripts/servicos/firebird
# starts and stops it. Quick when everything is already in place.
set -euo pipefail

senha_sysdba=plumbvext
conf=/etc/firebird/3.0/firebird.conf
seguranca=/var/lib/firebird/3.0/system/security3.fdb
marca=/var/lib/gerenciador/firebird-sysdba
pidfile_servico=/run/gerenciador-firebird/firebird.pid
pidfile_init=/var/run/firebird3.0/firebird.pid

sudo=()
[[ $(id -u) == 0 ]] || sudo=(sudo)

instalado() {
    [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true) == "install ok installed" ]]
}

# True while the process lives (a zombie that nobody reaped counts as ended).
vive() {
    local estado
    estado=$(awk '/^State:/ {print $2}' "/proc/$1/status" 2>/dev/null || true)
    [[ -n $estado && $estado != Z ]]
}

# Ends a process by its pid: TERM, then KILL after 5 s.
termina() {
    "${sudo[@]}" kill -TERM "$1" 2>/dev/null || true
    for _ in $(seq 50); do
        vive "$1" || return 0
        sleep 0.1
    done
    "${sudo[@]}" kill -KILL "$1" 2>/dev/null || true
}

# A server started by the package's init script (where the machine lets maintainer scripts
# start services) is stopped by the pid in its pid file. The guardian fbguard writes its
# server's pid there; the guardian is its parent and goes first, so that it does not start the
# server again.
para_servidor_do_pacote() {
    [[ -s $pidfile_init ]] || return 0
    local pid guarda="" servidor="" pai
    pid=$(tr -dc 0-9 <"$pidfile_init")
    [[ -n $pid ]] || return 0
    case $(readlink "/proc/$pid/exe" 2>/dev/null || true) in
    /usr/sbin/fbguard)
        guarda=$pid
        servidor=$(cat /proc/"$pid"/task/*/children 2>/dev/null || true)
        ;;
    /usr/sbin/firebird)
        servidor=$pid
        pai=$(awk '/^PPid:/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
        if [[ -n $pai && $(readlink "/proc/$pai/exe" 2>/dev/null || true) == /usr/sbin/fbguard ]]; then
            guarda=$pai
        fi
        ;;
    *) return 0 ;;
    esac
    echo "firebird: stopping the server the package started (pid ${guarda:+$guarda }$servidor)"
    local p
    for p in $guarda $servidor; do
        termina "$p"
    done
    "${sudo[@]}" rm -f "$pidfile_init"
}

if ! instalado firebird3.0-server || ! instalado firebird3.0-utils; then
    echo "setup: installing firebird3.0-server firebird3.0-utils"
    echo "firebird3.0-server shared/firebird/sysdba_password/first_install password $senha_sysdba" |
        "${sudo[@]}" debconf-set-selections
    "${sudo[@]}" apt-get update -qq -o DPkg::Lock::Timeout=600
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=600 \
        --no-install-recommends firebird3.0-server firebird3.0-utils
    para_servidor_do_pacote
fi

# Listen on the loopback interface only.
if ! grep -qx 'RemoteBindAddress = 127.0.0.1' "$conf"; then
    "${sudo[@]}" sed -i -e '/^[[:space:]]*RemoteBindAddress[[:space:]]*=/d' "$conf"
    echo 'RemoteBindAddress = 127.0.0.1' | "${sudo[@]}" tee -a "$conf" >/dev/null
fi

# The SYSDBA password, set in the security database while no server holds it. The mark records
# the password already set and the security database it was set in (its inode: a reinstall
# creates a new file), so later runs skip this step.
estado="$senha_sysdba $(stat -c %i "$seguranca")"
if [[ ! -f $marca || $(cat "$marca") != "$estado" ]]; then
    if [[ -s $pidfile_servico ]] && vive "$(tr -dc 0-9 <"$pidfile_servico")"; then
        # The test server holds the security database; it may already have the password.
        if ! fbsvcmgr 127.0.0.1:service_mgr user SYSDBA password "$senha_sysdba" \
            info_server_version >/dev/null 2>&1; then
            echo "firebird: the test server is running; run 'scripts/servicos/firebird stop'" \
                "e de novo scripts/setup para definir a senha do SYSDBA" >&2
            exit 1
        fi
    else
        para_servidor_do_pacote
        echo "create or alter user SYSDBA password '$senha_sysdba' using plugin Srp; commit;" |
            "${sudo[@]}" setpriv --reuid=firebird --regid=firebird --init-groups \
                isql-fb -q -user SYSDBA "$seguranca"
    fi
    "${sudo[@]}" mkdir -p "$(dirname "$marca")"
    echo "$estado" | "${sudo[@]}" tee "$marca" >/dev/null
    echo "firebird: SYSDBA password set"
fi
