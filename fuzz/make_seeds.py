#!/usr/bin/env python3
"""Writes the real-data seeds of the fuzz corpus: the head of a recording the
headless program made from cardengine's frames, the bytes cardengine sends
on the engine link, and the telemetry and link-monitor datagrams the program
sends. Run inside a loopback-only namespace:

  unshare -n sh -c 'ip link set lo up; ip route add 224.0.0.0/4 dev lo; \
      python3 fuzz/make_seeds.py build/bin fuzz/corpus'
"""

import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time

GROUP = "239.255.44.29"


def free_port(kind=socket.SOCK_DGRAM):
    s = socket.socket(socket.AF_INET, kind)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def put(corpus, target, name, data):
    d = os.path.join(corpus, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "seed-" + name), "wb") as f:
        f.write(data)


def engine_bytes(engine_port, seconds=1.5):
    """What the engine sends to a fresh connection: heartbeats and reports."""
    s = socket.create_connection(("127.0.0.1", engine_port))
    s.settimeout(0.2)
    got = b""
    end = time.time() + seconds
    while time.time() < end and len(got) < 8192:
        try:
            got += s.recv(8192)
        except socket.timeout:
            pass
    s.close()
    return got


def main():
    bindir, corpus = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp(prefix="seeds-")
    home = os.path.join(work, "home")
    os.makedirs(os.path.join(work, "run"))
    os.makedirs(home)
    mcdest, bc = free_port(), free_port()
    ini = (
        "[网络配置参数]\r\n"
        f"挑路组播地址={GROUP}\r\n挑路组播端口={free_port()}\r\n挑路组播端口1={mcdest}\r\n"
        f"全帧广播端口={bc}\r\n网络组播本地IP地址=127.0.0.1\r\n网络广播本地IP地址=127.0.0.1\r\n"
        f"单播目标IP=127.0.0.1\r\n单播目标端口={free_port()}\r\n"
        "[Headless]\r\nRecording=1\r\nTelemetry=1\r\n"
    ).encode("gbk")
    with open(os.path.join(home, "Para.ini"), "wb") as f:
        f.write(ini)
    env = dict(os.environ, XDG_RUNTIME_DIR=os.path.join(work, "run"), MCASTLIB_IF="127.0.0.1")
    port = free_port(socket.SOCK_STREAM)
    engine = subprocess.Popen([os.path.join(bindir, "cardengine"), "--listen",
                               f"127.0.0.1:{port}", "--dem-steady"], env=env)
    time.sleep(0.5)
    link = engine_bytes(port)

    rx = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    rx.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    rx.bind((GROUP, mcdest))
    rx.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                  socket.inet_aton(GROUP) + socket.inet_aton("127.0.0.1"))
    rx.settimeout(0.5)
    program = subprocess.Popen([os.path.join(bindir, "talvora-headless"), "--home", home,
                                "--engine", f"127.0.0.1:{port}"], env=env,
                               stdout=subprocess.DEVNULL)
    datagrams = {}
    end = time.time() + 20
    while time.time() < end and len(datagrams) < 2:
        try:
            d = rx.recv(65536)
        except socket.timeout:
            continue
        bid = struct.unpack_from("<I", d, 11)[0] if len(d) >= 15 else 0
        datagrams.setdefault(bid, d)
    time.sleep(3)
    program.terminate()
    program.wait(60)
    engine.terminate()
    engine.wait(10)

    recordings = []
    for dirpath, _, names in os.walk(home):
        recordings += [os.path.join(dirpath, n) for n in names if n.endswith(".dat")]
    with open(recordings[0], "rb") as f:
        rec = f.read(1024 + 48 * 32)
    cut = rec[:1024] + rec[1024 : 1024 + 20 * 32 + 13]  # cut in a record, header not rewritten
    for target in ("fuzz_dat_header", "fuzz_ch10export_dat", "fuzz_dem_header"):
        put(corpus, target, "recording.dat", rec)
        put(corpus, target, "recording-cut.dat", cut)
    put(corpus, "fuzz_file_replay", "recording.dat", bytes([0x06, 0x00]) + rec[2:])
    put(corpus, "fuzz_engine_parser", "engine-link.bin", bytes([0xFF, 0xFF]) + link)
    put(corpus, "fuzz_engine_parser", "engine-link-small.bin", bytes([0x02, 0x06]) + link[:2048])
    for bid, d in datagrams.items():
        name = "telemetry.bin" if bid == 0x00110101 else "link-monitor.bin"
        d = d[: 32 + 4 + 32 * 40] if len(d) > 32 + 4 + 32 * 40 else d
        put(corpus, "fuzz_station_packet", name, d)
        put(corpus, "fuzz_stationrx_checker", name, d)
    put(corpus, "fuzz_profile", "Para.ini", ini)
    shutil.rmtree(work)
    print("seeds: recording, %d engine bytes, %d datagram kinds" % (len(link), len(datagrams)))


if __name__ == "__main__":
    main()
