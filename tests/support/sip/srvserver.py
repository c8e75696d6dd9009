#!/usr/bin/python3
"""A name server for the SIP line tests that knows one SRV record: every query for NAME of type SRV
on 127.0.0.1:53 is answered with priority 10, weight 0, PORT and TARGET; anything else gets
NXDOMAIN. Meant for a network namespace of the test's own.

usage: srvserver.py NAME TARGET PORT LIFETIME_SECONDS
"""
import socket
import struct
import sys
import time

name, target, port, lifetime = sys.argv[1].lower(), sys.argv[2], int(sys.argv[3]), float(sys.argv[4])


def encode(domain):
    return b"".join(bytes([len(label)]) + label.encode() for label in domain.split(".")) + b"\0"


def question(packet):
    labels, at = [], 12
    while packet[at]:
        labels.append(packet[at + 1:at + 1 + packet[at]].decode(errors="replace"))
        at += 1 + packet[at]
    qtype = struct.unpack("!H", packet[at + 1:at + 3])[0]
    return ".".join(labels).lower(), qtype, at + 5


sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.bind(("127.0.0.1", 53))
sock.settimeout(0.2)
end = time.monotonic() + lifetime
print("ready", flush=True)
while time.monotonic() < end:
    try:
        packet, peer = sock.recvfrom(512)
        asked, qtype, end_of_question = question(packet)
    except (socket.timeout, IndexError, struct.error):
        continue
    known = asked == name and qtype == 33
    flags = 0x8180 if known else 0x8183
    reply = packet[:2] + struct.pack("!HHHHH", flags, 1, 1 if known else 0, 0, 0)
    reply += packet[12:end_of_question]
    if known:
        rdata = struct.pack("!HHH", 10, 0, port) + encode(target)
        reply += b"\xc0\x0c" + struct.pack("!HHIH", 33, 1, 60, len(rdata)) + rdata
    sock.sendto(reply, peer)
