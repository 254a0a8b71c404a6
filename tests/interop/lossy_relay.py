#!/usr/bin/env python3
"""A UDP relay on 127.0.0.1 that loses a share of the datagrams, both ways, for tests of
transfers under loss where the kernel has no netem.

Usage: lossy_relay.py LISTEN_PORT SERVER_PORT LOSS SEED LIFETIME_SECONDS

Clients talk to LISTEN_PORT; a request (opcode 1 or 2) goes to SERVER_PORT from a fresh socket,
and everything after it to the port the server answered from (its transfer port). Replies reach
the client from LISTEN_PORT. Drops are drawn from a seeded generator, so runs repeat.
"""
import random
import select
import socket
import sys
import time

listen_port, server_port = int(sys.argv[1]), int(sys.argv[2])
loss, seed, lifetime = float(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5])
host = "127.0.0.1"
rng = random.Random(seed)


def udp(port=0):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 << 20)
    s.bind((host, port))
    return s


front = udp(listen_port)
back = None
client = None
server = None
deadline = time.monotonic() + lifetime
dropped = forwarded = 0
while time.monotonic() < deadline:
    ready, _, _ = select.select([front] + ([back] if back else []), [], [], 0.5)
    for s in ready:
        data, sender = s.recvfrom(70000)
        if s is front:
            if len(data) >= 2 and data[1] in (1, 2) and data[0] == 0:
                if back:
                    back.close()
                back, server = udp(), (host, server_port)
            client = sender
            target, out = server, back
        else:
            server = sender
            target, out = client, front
        if out is None or target is None:
            continue
        if rng.random() < loss:
            dropped += 1
            continue
        forwarded += 1
        out.sendto(data, target)
print(f"relay: forwarded {forwarded}, dropped {dropped}", file=sys.stderr)
