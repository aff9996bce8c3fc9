#!/bin/bash
# laboratorio_rede.sh up|down|restart-avahi A|B|stop-avahi A|B|start-avahi A|B|start-firebird
# (start-avahi also restarts a daemon that renamed itself after a host name conflict)
# Two network namespaces, A (198.51.100.1) and B (198.51.100.2), joined by a veth pair; each has
# its own D-Bus system bus and avahi-daemon; B also runs wsdd (a WS-Discovery host named
# maquina-w in workgroup ESCRITORIO). Needs root (or CAP_SYS_ADMIN + CAP_NET_ADMIN) and no
# systemd. State (sockets, pids, logs) lives in $LAB; $SUFIXO makes the namespace and link
# names unique; $CACHE_MAX, when set, raises the daemons' cache-entries-max (4096 by default,
# about 1,000 hosts) and $OBJETOS_MAX their objects-per-client-max (1024: avahi-browse -r makes
# one resolver per service) for large runs. Every process is stopped by its pid.
# start-firebird runs a Firebird 3 server in B on 198.51.100.2:3050 holding an empty database
# at /VELTOGDB/$FB_PASTA/$FB_ARQUIVO (EMPRESA, VELTO.FDB by default) and the user $FB_USUARIO
# with the password $FB_SENHA (and SYSDBA with "laboratorio"); with $FB_WINDOWS (FOLDER/FILE),
# also one at \VELTOGDB\FOLDER\FILE, the path the switch writes for a Windows server, which this
# Linux server takes as a name in its working folder (/tmp). It runs in a mount namespace of
# its own, on a copy-on-write view of the machine's root: its own security database, lock
# folder, configuration and log, and /VELTOGDB bound to $LAB/B/VELTOGDB; the machine's root,
# its /VELTOGDB and the test server on 127.0.0.1:3050 are never touched.
set -eu
LAB=${LAB:?LAB must name the lab folder}
SUFIXO=${SUFIXO:-}
WSDD_UUID=${WSDD_UUID:-5e1f7a3c-0b1d-4c8e-9a55-0000000000b2}

ns() { echo "nb$1$SUFIXO"; }
veth() { echo "vnb$1$SUFIXO"; }
ip4() { [ "$1" = A ] && echo 198.51.100.1 || echo 198.51.100.2; }
bus() { echo "unix:path=$LAB/$1/system_bus_socket"; }

configura() { # $1 = A|B
    local d=$LAB/$1 l
    l=$(echo "$1" | tr AB ab)
    mkdir -p "$d/run/avahi-daemon"
    cat >"$d/bus.conf" <<FIM
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$d/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Introspectable"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Properties"/>
  </policy>
  <include>/usr/share/dbus-1/system.d/avahi-dbus.conf</include>
</busconfig>
FIM
    # Both namespaces share the host name: each daemon gets its own. Only what a test
    # publishes is announced.
    cat >"$d/avahi-daemon.conf" <<FIM
[server]
host-name=maquina-$l
domain-name=local
use-ipv4=yes
use-ipv6=no
allow-interfaces=$(veth "$1")
enable-dbus=yes
ratelimit-interval-usec=1000000
ratelimit-burst=1000
${CACHE_MAX:+cache-entries-max=$CACHE_MAX}
${OBJETOS_MAX:+objects-per-client-max=$OBJETOS_MAX}
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
[reflector]
[rlimits]
FIM
}

inicia_dbus() {
    ip netns exec "$(ns "$1")" dbus-daemon --config-file="$LAB/$1/bus.conf" --fork --nopidfile \
        --print-pid >"$LAB/$1/dbus.pid" 2>>"$LAB/$1/dbus.log"
}

espera_avahi() { # until GetState == 2: the host name is probed
    for _ in $(seq 1 100); do
        dbus-send --bus="$(bus "$1")" --print-reply --dest=org.freedesktop.Avahi / \
            org.freedesktop.Avahi.Server.GetState 2>/dev/null | grep -q 'int32 2' && return 0
        sleep 0.05
    done
    echo "avahi in $1 not running after 5 s" >&2
    return 1
}

inicia_avahi() { # a private /run per daemon (ip netns exec gives a mount namespace of its own)
    local d=$LAB/$1
    rm -f "$d/run/avahi-daemon/pid"
    setsid -f ip netns exec "$(ns "$1")" env DBUS_SYSTEM_BUS_ADDRESS="$(bus "$1")" \
        sh -c 'mount --bind "$0/run" /run && exec avahi-daemon -f "$0/avahi-daemon.conf" --no-chroot --no-rlimits' "$d" \
        >>"$d/avahi.log" 2>&1 </dev/null
    espera_avahi "$1"
}

vivo() { kill -0 "$(cat "$1" 2>/dev/null)" 2>/dev/null; }

# The host name the daemon now uses: avahi renames itself ("maquina-b-2") when it takes a record
# of its own for another host's, as when an address of its interface goes while its
# announcement from that address is still on the way.
nome_avahi() {
    dbus-send --bus="$(bus "$1")" --print-reply --dest=org.freedesktop.Avahi / \
        org.freedesktop.Avahi.Server.GetHostName 2>/dev/null | sed -n 's/^ *string "\(.*\)"$/\1/p'
}

# Running, under the name it was given: else (re)started.
inicia_avahi_se_preciso() {
    local pid=$LAB/$1/run/avahi-daemon/pid
    if vivo "$pid"; then
        [ "$(nome_avahi "$1")" = "maquina-$(echo "$1" | tr AB ab)" ] && return 0
        para_pid "$pid"
    fi
    inicia_avahi "$1"
}

inicia_wsdd() {
    vivo "$LAB/B/wsdd.pid" && return 0
    # Only at B's own address: the addresses a test adds to B stand for other hosts on the link.
    setsid -f ip netns exec "$(ns B)" sh -c 'echo $$ > "$0"; exec wsdd -i "$2" -4 -n maquina-w -w ESCRITORIO -U "$1" -v' \
        "$LAB/B/wsdd.pid" "$WSDD_UUID" "$(ip4 B)" >>"$LAB/B/wsdd.log" 2>&1 </dev/null
    for _ in $(seq 1 100); do
        ip netns exec "$(ns B)" ss -Htln 'sport = :5357' | grep -q . && return 0
        sleep 0.05
    done
    echo "wsdd not listening after 5 s" >&2
    return 1
}

para_pid() { # SIGTERM (the daemons send their goodbyes), up to 5 s, then SIGKILL
    local p
    p=$(cat "$1" 2>/dev/null) || return 0
    kill "$p" 2>/dev/null || return 0
    for _ in $(seq 1 50); do
        kill -0 "$p" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -9 "$p" 2>/dev/null || true
}

# The lab's Firebird server, run as "unshare -m laboratorio_rede.sh firebird-dentro" inside B.
firebird_dentro() {
    local d=$LAB/B r=$LAB/B/raiz
    mount --make-rprivate /
    mkdir -p "$d/camadas" "$r" "$d/VELTOGDB"
    mount -t tmpfs tmpfs "$d/camadas"
    mkdir "$d/camadas/sobre" "$d/camadas/trabalho"
    mount -t overlay overlay \
        -o "lowerdir=/,upperdir=$d/camadas/sobre,workdir=$d/camadas/trabalho" "$r"
    mount -t proc proc "$r/proc"
    mount --rbind /dev "$r/dev"
    mkdir -p "$r/VELTOGDB"
    mount --bind "$d/VELTOGDB" "$r/VELTOGDB"
    echo $$ >"$d/firebird.pid"
    # shellcheck disable=SC2016 # expanded by the inner shell
    exec chroot "$r" /bin/bash -c '
        set -eu
        conf=/etc/firebird/3.0/firebird.conf
        sec=/var/lib/firebird/3.0/system/security3.fdb
        export FIREBIRD_LOCK=/tmp/firebird-laboratorio
        como() { setpriv --reuid=firebird --regid=firebird --init-groups "$@"; }
        sql() { printf "%s\n" "$@" | como isql-fb -q -user SYSDBA "$sec"; }
        rm -rf /var/log/firebird/* "$sec"
        mkdir -p "$FIREBIRD_LOCK" /run/firebird3.0 "/VELTOGDB/$3"
        chown firebird:firebird "$FIREBIRD_LOCK" /run/firebird3.0 /VELTOGDB "/VELTOGDB/$3"
        sed -i -e "/^[[:space:]]*RemoteBindAddress/d" "$conf"
        echo "RemoteBindAddress = 198.51.100.2" >>"$conf"
        echo "create database '\''$sec'\'';" | como isql-fb -q
        como gfix -user SYSDBA -write async "$sec"
        como isql-fb -q -user SYSDBA -i /usr/share/firebird/3.0/security.sql "$sec"
        sql "create user SYSDBA password '\''laboratorio'\'' using plugin Srp;" \
            "create user $1 password '\''$2'\'' using plugin Srp;" "commit;"
        como gfix -user SYSDBA -write sync "$sec"
        echo "create database '\''/VELTOGDB/$3/$4'\'' user '\''SYSDBA'\'';" | como isql-fb -q
        if [ -n "$5" ]; then
            windows="/tmp/\\VELTOGDB\\${5%%/*}\\${5#*/}"
            echo "create database '\''$windows'\'' user '\''SYSDBA'\'';" | como isql-fb -q
        fi
        exec setpriv --reuid=firebird --regid=firebird --init-groups /usr/sbin/firebird
    ' _ "$FB_USUARIO" "$FB_SENHA" "${FB_PASTA:-EMPRESA}" "${FB_ARQUIVO:-VELTO.FDB}" "${FB_WINDOWS:-}"
}

inicia_firebird() {
    vivo "$LAB/B/firebird.pid" && return 0
    rm -f "$LAB/B/firebird.pid"
    setsid -f ip netns exec "$(ns B)" unshare -m bash "$0" firebird-dentro \
        >>"$LAB/B/firebird.log" 2>&1 </dev/null
    for _ in $(seq 1 300); do
        ip netns exec "$(ns B)" fbsvcmgr 198.51.100.2:service_mgr user SYSDBA \
            password laboratorio info_server_version >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    echo "the lab's Firebird server not answering after 15 s" >&2
    cat "$LAB/B/firebird.log" >&2
    return 1
}

up() {
    mkdir -p "$LAB"
    chmod 755 "$LAB" # the daemons drop root
    for n in A B; do
        ip netns add "$(ns $n)"
        ip netns exec "$(ns $n)" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
        ip -n "$(ns $n)" link set lo up
    done
    ip link add "$(veth A)" netns "$(ns A)" type veth peer name "$(veth B)" netns "$(ns B)"
    for n in A B; do
        ip -n "$(ns $n)" addr add "$(ip4 $n)/24" dev "$(veth $n)"
        ip -n "$(ns $n)" link set "$(veth $n)" up
        configura $n
        inicia_dbus $n
    done
    for n in A B; do inicia_avahi $n; done
    inicia_wsdd
}

down() {
    local f p pids=""
    for f in "$LAB"/B/*.pid "$LAB/B/wsdd.pid" "$LAB/A/run/avahi-daemon/pid" "$LAB/B/run/avahi-daemon/pid" \
        "$LAB/A/dbus.pid" "$LAB/B/dbus.pid"; do
        p=$(cat "$f" 2>/dev/null) && kill "$p" 2>/dev/null && pids="$pids $p"
    done
    for _ in $(seq 1 50); do
        local vivos=""
        for p in $pids; do kill -0 "$p" 2>/dev/null && vivos="$vivos $p"; done
        [ -z "$vivos" ] && break
        sleep 0.1
    done
    for p in $pids; do kill -9 "$p" 2>/dev/null || true; done
    for n in A B; do ip netns del "$(ns $n)" 2>/dev/null || true; done
    rm -rf "$LAB"
}

case "${1:-}" in
up) up ;;
down) down ;;
restart-avahi) para_pid "$LAB/$2/run/avahi-daemon/pid" && inicia_avahi "$2" ;;
stop-avahi) para_pid "$LAB/$2/run/avahi-daemon/pid" ;;
start-avahi) inicia_avahi_se_preciso "$2" ;;
stop-wsdd) para_pid "$LAB/B/wsdd.pid" ;;
start-wsdd) inicia_wsdd ;;
start-firebird) inicia_firebird ;;
stop-firebird) para_pid "$LAB/B/firebird.pid" ;;
firebird-dentro) firebird_dentro ;;
*)
    echo "usage: $0 up|down|restart-avahi A|B|stop-avahi A|B|start-avahi A|B|stop-wsdd|start-wsdd|start-firebird|stop-firebird" >&2
    exit 2
    ;;
esac
