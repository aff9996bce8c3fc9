#!/usr/bin/python3
"""Publishes N machines over mDNS through the avahi daemon on DBUS_SYSTEM_BUS_ADDRESS: host names
PREFIX0.local ... at ADDRESS (no reverse record), each with an _smb._tcp service; ADDRESS may be
a comma-separated list, machine i taking its i-th address (the last one for the rest). Prints
"pronto" once every name is established, then waits until it is terminated.
usage: publica_mdns.py N ADDRESS [PREFIX]"""
import sys
import time

import dbus

n, enderecos = int(sys.argv[1]), sys.argv[2].split(",")
prefixo = sys.argv[3] if len(sys.argv) > 3 else "h"
IF_UNSPEC, PROTO_INET, NO_REVERSE = -1, 0, 16
POR_GRUPO = 15  # the daemon takes at most 32 entries per group: an address and a service each
barramento = dbus.SystemBus()
servidor = dbus.Interface(barramento.get_object("org.freedesktop.Avahi", "/"),
                          "org.freedesktop.Avahi.Server")
grupos = []
for inicio in range(0, n, POR_GRUPO):
    g = dbus.Interface(barramento.get_object("org.freedesktop.Avahi", servidor.EntryGroupNew()),
                       "org.freedesktop.Avahi.EntryGroup")
    for i in range(inicio, min(n, inicio + POR_GRUPO)):
        host = f"{prefixo}{i}.local"
        g.AddAddress(IF_UNSPEC, PROTO_INET, dbus.UInt32(NO_REVERSE), host,
                     enderecos[min(i, len(enderecos) - 1)])
        g.AddService(IF_UNSPEC, PROTO_INET, dbus.UInt32(0), f"{prefixo}{i}", "_smb._tcp", "",
                     host, dbus.UInt16(445), dbus.Array([], signature="ay"))
    g.Commit()
    grupos.append(g)
while any(g.GetState() != 2 for g in grupos):  # AVAHI_ENTRY_GROUP_ESTABLISHED
    if any(g.GetState() == 3 for g in grupos):  # COLLISION
        sys.exit("name collision")
    time.sleep(0.2)
print("pronto", flush=True)
while True:
    time.sleep(3600)
