#!/usr/bin/python3
"""A STUN server for the SIP line tests that plays a home router: every Binding Request on
127.0.0.1:PORT is answered with MAPPED_HOST and the request's own port as the mapped address.

usage: stunserver.py PORT MAPPED_HOST LIFETIME_SECONDS
It stops after LIFETIME_SECONDS.
"""
import socket
import struct
import sys
import time

COOKIE = 0x2112A442
port, mapped, lifetime = int(sys.argv[1]), sys.argv[2], float(sys.argv[3])
sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.bind(("127.0.0.1", port))
sock.settimeout(0.2)
end = time.monotonic() + lifetime
print("ready", flush=True)
while time.monotonic() < end:
    try:
        data, peer = sock.recvfrom(2048)
    except socket.timeout:
        continue
    if len(data) < 20:
        continue
    kind, _, cookie = struct.unpack("!HHI", data[:8])
    if kind != 0x0001 or cookie != COOKIE:
        continue
    txid = data[8:20]
    address = struct.unpack("!I", socket.inet_aton(mapped))[0] ^ COOKIE
    value = struct.pack("!BBHI", 0, 1, peer[1] ^ (COOKIE >> 16), address)
    attribute = struct.pack("!HH", 0x0020, len(value)) + value
    sock.sendto(struct.pack("!HHI", 0x0101, len(attribute), COOKIE) + txid + attribute, peer)
