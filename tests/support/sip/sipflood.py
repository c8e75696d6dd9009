#!/usr/bin/python3
"""Sends a bounded flood of out-of-dialog SIP requests (OPTIONS and REGISTER, alternating) over UDP.

usage: sipflood.py TARGET_HOST TARGET_PORT RATE COUNT [SOURCE_HOST]

Sends at most COUNT requests at about RATE a second and stops after COUNT / RATE + 5 seconds at the
latest; every request has its own Call-ID and branch, as a scanner's would. Replies are read and
counted; the counts are printed as "sent N replies M" at the end.
"""
import socket
import sys
import time


def request(method, host, port, n):
    return (f"{method} sip:{host}:{port} SIP/2.0\r\n"
            f"Via: SIP/2.0/UDP {SOURCE}:{LOCAL_PORT};branch=z9hG4bK-flood{n}\r\n"
            f"Max-Forwards: 70\r\n"
            f"From: <sip:scan@{SOURCE}>;tag=f{n}\r\n"
            f"To: <sip:{n % 1000}@{host}>\r\n"
            f"Call-ID: flood-{n}@{SOURCE}\r\n"
            f"CSeq: 1 {method}\r\n"
            f"Contact: <sip:scan@{SOURCE}:{LOCAL_PORT}>\r\n"
            f"User-Agent: flood\r\n"
            f"Content-Length: 0\r\n\r\n").encode()


host, port, rate, count = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), int(sys.argv[4])
SOURCE = sys.argv[5] if len(sys.argv) > 5 else "127.0.0.1"
sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.bind((SOURCE, 0))
sock.setblocking(False)
LOCAL_PORT = sock.getsockname()[1]
start = time.monotonic()
deadline = start + count / rate + 5
sent = replies = 0
while sent < count and time.monotonic() < deadline:
    due = int((time.monotonic() - start) * rate) + 1
    while sent < min(due, count):
        try:
            sock.sendto(request("OPTIONS" if sent % 2 == 0 else "REGISTER", host, port, sent), (host, port))
        except BlockingIOError:
            pass
        sent += 1
    try:
        while True:
            sock.recv(4096)
            replies += 1
    except BlockingIOError:
        pass
    time.sleep(0.002)
print(f"sent {sent} replies {replies}", flush=True)
