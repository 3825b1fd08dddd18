#!/usr/bin/env python3
"""The headless station under load for a number of minutes (scripts/soak).

cardengine sends 3 x 20 Mbit/s of demodulator frames to the headless program,
which records them, runs the frame checks and sends telemetry and the
full-frame broadcast; stationrx receives the telemetry. The program's RSS,
descriptors, threads and CPU are sampled every period. With --chaos one fault
from FAULTS is applied at each fault slot. At the end the recording, the
receiver's counts, the continuity reports and the samples are checked, and a
one-page report (report.md, plot.png) is written into the run's folder.

Runs inside a loopback-only network namespace (scripts/soak sets it up) and
addresses only 127.0.0.0/8.
"""

import argparse
import datetime
import json
import os
import random
import shutil
import signal
import socket
import struct
import subprocess
import sys
import time

GROUP = "239.255.44.29"
GPS_GROUP = "239.255.44.28"
RECORD = 32  # 8 tag bytes and 24 words of 8 bits
TAG = 8
COUNTER_WORD = 5  # 1-based word of the frame counter, as the engine's default task has it
MBPS = 60  # 3 streams x 20 Mbit/s
# The engine plays a pool of pre-generated frames (8 MiB of them) again and
# again, restamping only the counter: the tags jump back at each new pass.
POOL_FRAMES = (8 << 20) // RECORD
WARM_UP_S = 5 * 60  # RSS growth is judged after this
LINK_SETTLE_S = 20  # a link event may cost frames up to this long after it


def free_port(kind=socket.SOCK_DGRAM):
    s = socket.socket(socket.AF_INET, kind)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def write_para_ini(home, ports, record_dir):
    text = (
        "[网络配置参数]\r\n"
        f"挑路组播地址={GROUP}\r\n挑路组播端口={ports['mc']}\r\n挑路组播端口1={ports['mcdest']}\r\n"
        f"GPS信息组播地址={GPS_GROUP}\r\nGPS信息组播端口={ports['gps']}\r\n"
        f"全帧广播端口={ports['bc']}\r\n网络组播本地IP地址=127.0.0.1\r\n"
        "网络广播本地IP地址=127.0.0.1\r\n"
        f"单播本地端口={ports['uclocal']}\r\n单播目标端口={ports['ucdest']}\r\n"
        "单播目标IP=127.0.0.1\r\n"
        "[帧计数统计参数]\r\n帧计数高位使能=0\r\n"
        f"帧计数低位路序={COUNTER_WORD}\r\n"
        "[存盘信息]\r\n"
        f"解密前存盘路径={record_dir}\r\n解密前存盘标记=1\r\n解密前文件头=0\r\n"
        "[Headless]\r\nRecording=1\r\nTelemetry=1\r\nFullFrameBroadcast=1\r\n"
        "FrameCountStat=1\r\nIdStat=0\r\nTimeStat=1\r\n"
    )
    with open(os.path.join(home, "Para.ini"), "wb") as f:
        f.write(text.encode("gbk"))


class Proc:
    """A child with its output in files."""

    def __init__(self, argv, out, env=None):
        self.argv = argv
        self.out = out
        self.stdout = open(out + ".out", "wb")
        self.stderr = open(out + ".err", "wb")
        self.p = subprocess.Popen(argv, stdout=self.stdout, stderr=self.stderr, env=env)
        self.pid = self.p.pid

    def alive(self):
        return self.p.poll() is None

    def stop(self, sig=signal.SIGTERM, limit=60):
        """Signals and waits; the exit code, or None when it had to be killed."""
        if self.p.poll() is None:
            try:
                self.p.send_signal(sig)
            except ProcessLookupError:
                pass
            try:
                self.p.wait(limit)
            except subprocess.TimeoutExpired:
                self.p.kill()
                self.p.wait()
                self.close()
                return None
        self.close()
        return self.p.returncode

    def close(self):
        self.stdout.close()
        self.stderr.close()

    def output(self):
        with open(self.out + ".out", "rb") as f:
            return f.read().decode("utf-8", "replace")

    def errors(self):
        with open(self.out + ".err", "rb") as f:
            return f.read().decode("utf-8", "replace")


def parse_fields(line, kind):
    if not line.startswith(kind + " "):
        return None
    fields = {}
    for item in line[len(kind) + 1 :].split():
        if "=" in item:
            k, v = item.split("=", 1)
            fields[k] = v
    return fields


class ProcStat:
    """RSS, descriptors, threads and CPU seconds of one process from /proc."""

    def __init__(self, pid):
        self.pid = pid
        self.tick = os.sysconf("SC_CLK_TCK")

    def read(self):
        try:
            with open(f"/proc/{self.pid}/status") as f:
                status = f.read()
            with open(f"/proc/{self.pid}/stat") as f:
                stat = f.read()
            # The receive worker holds two duplicates for 50 ms at a time:
            # the least of a few reads is the lasting count.
            fds = min(len(os.listdir(f"/proc/{self.pid}/fd")) for _ in range(5))
        except OSError:
            return None
        values = {}
        for line in status.splitlines():
            k, _, v = line.partition(":")
            values[k] = v.strip()
        rest = stat[stat.rindex(")") + 2 :].split()
        cpu = (int(rest[11]) + int(rest[12])) / self.tick
        return {
            "rss_kb": int(values["VmRSS"].split()[0]),
            "threads": int(values["Threads"]),
            "fds": fds,
            "cpu_s": cpu,
        }


# ---- the recording -------------------------------------------------------


def tag_tenths(block):
    """A tag's time of day in 0.1 ms from its BCD bytes."""
    import numpy as np

    b = block[:, :5].astype(np.int64)
    d = (b >> 4) * 10 + (b & 15)
    hours = ((b[:, 4] & 0x3F) >> 4) * 10 + (b[:, 4] & 15)
    return d[:, 0] + 100 * d[:, 1] + 10000 * (d[:, 2] + 60 * d[:, 3] + 3600 * hours)


def check_recording(path, minors, link_times, start_wall):
    """Reads a recording and splits it into the engine's streams.

    Each engine stream starts at counter 0 and index 0 (the engine starts
    afresh on every connection; the program may miss its first superframes
    while it reopens the card); then every record follows its predecessor:
    the counter one up, the tag's sub-frame index one up, and the tag's time
    one frame period on (or back at the stream's first tag, where the engine
    plays its frame pool from the start again). Any other record is a fault:
    a gap, a duplicate, a reorder. Every stream start but the first must lie
    near a link event (its first tag says when it started)."""
    import numpy as np

    size = os.path.getsize(path)
    with open(path, "rb") as f:
        head = f.read(1024)
    result = {"path": path, "size": size, "faults": [], "streams": [], "partial_bytes": 0}
    if len(head) < 1024 or struct.unpack_from("<I", head, 336)[0] != 1024:
        result["faults"].append("no 1024-byte header")
        return result
    header_records = struct.unpack_from("<Q", head, 384)[0]
    bit_rate = struct.unpack_from("<I", head, 704 + 5 * 4)[0] or 1
    word_bits = struct.unpack_from("<I", head, 704 + 7 * 4)[0]
    words = struct.unpack_from("<I", head, 704 + 8 * 4)[0]
    period_tenths = words * word_bits / bit_rate * 1e4
    max_step = int(period_tenths) + 2
    whole = (size - 1024) // RECORD
    result["header_records"] = header_records
    result["records"] = whole
    result["partial_bytes"] = (size - 1024) % RECORD
    if header_records != whole:
        result["faults"].append(f"header counts {header_records} records, the file holds {whole}")
    if whole == 0:
        result["broken"] = 0
        return result
    data = np.memmap(path, dtype=np.uint8, mode="r", offset=1024, shape=(whole, RECORD))
    chunk = 1 << 22
    prev = None  # counter, index, tag, first tag of its stream
    bad = 0
    streams = []
    at = 0
    while at < whole:
        block = np.asarray(data[at : at + chunk])
        counter = block[:, TAG + COUNTER_WORD - 1].astype(np.int64)
        index = block[:, 6].astype(np.int64)
        tenths = tag_tenths(block)
        if prev is None:
            c_all, i_all, t_all = counter, index, tenths
            first_t = tenths[0]
            streams.append({"record": 0, "tag_tenths": int(tenths[0])})
        else:
            c_all = np.concatenate(([prev[0]], counter))
            i_all = np.concatenate(([prev[1]], index))
            t_all = np.concatenate(([prev[2]], tenths))
            first_t = prev[3]
        step = (np.diff(c_all) % 256 == 1) & (np.diff(i_all) % minors == 1)
        # A stream begins at counter 0 with sub-frame 0; the program may drop
        # its first whole superframes while it reopens the card.
        starts = (c_all[1:] % minors == 0) & (i_all[1:] == 0) & ~step
        rows = np.arange(1, len(c_all))
        # The first tag of the stream each record belongs to.
        last_start = np.maximum.accumulate(np.where(starts, rows, 0))
        stream_first = np.where(last_start > 0, t_all[last_start], first_t)
        dt = np.diff(t_all)
        # The pool wrap: back by the pool's length less one frame.
        wrap = np.abs(dt + (POOL_FRAMES - 1) * period_tenths) <= max_step
        on_time = ((dt >= 0) & (dt <= max_step)) | (t_all[1:] == stream_first) | wrap
        follows = step & on_time
        broken = ~follows & ~starts
        offset = at - (0 if prev is None else 1)
        for row in np.nonzero(starts)[0] + 1:
            streams.append({"record": int(row + offset), "tag_tenths": int(t_all[row])})
        for row in (np.nonzero(broken)[0] + 1)[:20]:
            result["faults"].append(
                f"record {int(row + offset)} neither follows nor starts a stream (counter "
                f"{int(c_all[row - 1])}->{int(c_all[row])}, index {int(i_all[row - 1])}->"
                f"{int(i_all[row])}, tag {int(t_all[row - 1])}->{int(t_all[row])})")
        bad += int(broken.sum())
        prev = (counter[-1], index[-1], tenths[-1], stream_first[-1] if len(stream_first) else first_t)
        at += chunk
    del data
    result["broken"] = bad
    # A stream's start in wall-clock time from its tag (local time of day).
    day0 = datetime.datetime.fromtimestamp(start_wall).replace(hour=0, minute=0, second=0,
                                                                 microsecond=0)
    for s in streams:
        t = day0.timestamp() + s["tag_tenths"] / 1e4
        if t < start_wall - 3600:
            t += 86400  # the run went past midnight
        s["wall"] = t
        s["near_link_event"] = any(-2 <= t - e <= LINK_SETTLE_S for e in link_times)
    result["streams"] = streams
    return result


# ---- faults ----------------------------------------------------------------


class Station:
    def __init__(self, args, out):
        self.args = args
        self.out = out
        self.bin = args.bin
        self.home = os.path.join(out, "home")
        os.makedirs(self.home, exist_ok=True)
        self.runtime = os.path.join(out, "run")
        os.makedirs(self.runtime, exist_ok=True)
        self.ports = {k: free_port() for k in ("mc", "mcdest", "gps", "bc", "uclocal", "ucdest")}
        self.engine_port = free_port(socket.SOCK_STREAM)
        self.env = dict(os.environ)
        self.env.update(
            {
                "XDG_RUNTIME_DIR": self.runtime,
                "XDG_CONFIG_HOME": os.path.join(self.home, "config"),
                "MCASTLIB_IF": "127.0.0.1",
                "TALVORA_OBJECT_NAMESPACE": "soak-%d" % os.getpid(),
            }
        )
        # The unicast target exists but is never read.
        self.sink = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sink.bind(("127.0.0.1", self.ports["ucdest"]))
        self.engines = 0
        self.engine = None
        self.rx = None
        self.rx_runs = []
        self.rx_count = 0
        self.events = []  # {"t", "kind", "cost", ...}
        self.link_times = []

    def event(self, kind, **kw):
        e = {"t": time.time(), "kind": kind}
        e.update(kw)
        self.events.append(e)
        log(f"{kind} {kw if kw else ''}")
        return e

    def start_engine(self, extra=()):
        self.engines += 1
        argv = [
            os.path.join(self.bin, "cardengine"),
            "--listen",
            f"127.0.0.1:{self.engine_port}",
            "--full-speed",
            "--dem-rate-mbps",
            str(MBPS),
        ] + list(extra)
        name = os.path.join(self.out, "engine-%d" % self.engines)
        for _ in range(50):  # the old engine's port may still be closing
            self.engine = Proc(argv, name, self.env)
            time.sleep(0.3)
            if self.engine.alive():
                return
            self.engine.stop()
            time.sleep(0.2)
        raise RuntimeError("cardengine does not start: " + self.engine.errors())

    def stop_engine(self, sig=signal.SIGTERM):
        if self.engine:
            self.engine.stop(sig, 10)
            self.engine = None

    # link_times: the moments from which frames may be missing for up to
    # LINK_SETTLE_S (link ends, and the begin and end of a lock loss).
    def swap_engine(self, extra=(), sig=signal.SIGKILL, pause=0.0):
        self.link_times.append(time.time())
        self.stop_engine(sig)
        time.sleep(pause)
        self.start_engine(extra)

    def start_rx(self):
        self.rx_count += 1
        argv = [
            os.path.join(self.bin, "stationrx"),
            "--group",
            GROUP,
            "--port",
            str(self.ports["mcdest"]),
            "--interface",
            "127.0.0.1",
            "--record-bytes",
            str(RECORD),
            "--subframes",
            "4",
            "--counter",
            f"{COUNTER_WORD}:1",
            "--late-ms",
            "5000",
            "--json",
            "--quiet",
        ]
        self.rx = Proc(argv, os.path.join(self.out, "stationrx-%d" % self.rx_count), self.env)

    def stop_rx(self):
        code = self.rx.stop(signal.SIGTERM, 30)
        text = self.rx.output().strip().splitlines()
        summary = None
        for line in reversed(text):
            if line.startswith("{"):
                summary = json.loads(line)
                break
        self.rx_runs.append({"exit": code, "summary": summary, "events_before": len(self.events)})
        self.rx = None

    def start_program(self):
        talvora = os.path.join(self.bin, "Talvora")
        if os.path.exists(talvora):
            argv = [talvora, "--headless"]
        else:
            argv = [os.path.join(self.bin, "talvora-headless")]
        argv += ["--home", self.home, "--engine", f"127.0.0.1:{self.engine_port}"]
        self.program = Proc(argv, os.path.join(self.out, "station"), self.env)
        self.stat = ProcStat(self.program.pid)

    def last_status(self):
        last = None
        try:
            with open(os.path.join(self.out, "station.out"), "rb") as f:
                f.seek(max(0, os.path.getsize(f.name) - 4096))
                for line in f.read().decode("utf-8", "replace").splitlines():
                    fields = parse_fields(line, "status")
                    if fields:
                        last = fields
        except OSError:
            pass
        return last


def fault_link_drop(st):
    """The engine link dropped by the engine: an engine that closes each
    connection after 5 s takes over, drops the link once, and the plain
    engine comes back. Cost: frames only at the three link ends."""
    st.swap_engine(["--close-after-sec", "5"])
    time.sleep(5)
    st.link_times.append(time.time())
    time.sleep(4)
    st.swap_engine()
    return {"cost": "frames lost only at the three link ends (swap in, drop, swap back)"}


def fault_engine_restart(st):
    """cardengine killed and started again 2 s later."""
    st.swap_engine(pause=2.0)
    return {"cost": "frames lost only while the link is down (2 s and the reconnect)"}


def fault_rx_restart(st):
    """stationrx stopped and started again 1 s later."""
    st.stop_rx()
    time.sleep(1.0)
    st.start_rx()
    return {"cost": "the telemetry of the 1 s gap is not received; no receiver counts a loss"}


def fault_lock_loss(st):
    """An engine that reports no lock from 3 to 8 s after the demodulator
    record takes over (and stays until the next engine swap)."""
    st.swap_engine(["--dem-lock-loss", "3:5"])
    # The program takes nothing from a card out of lock: the frames of the
    # 5 s without lock are neither recorded nor sent.
    st.link_times += [time.time() + 3, time.time() + 8]
    return {"cost": "one link end (the swap), and the frames of the 5 s without lock are "
            "neither recorded nor sent; the sync-loss count rises"}


def fault_sigstop(st):
    """The program stopped for 3 s and continued."""
    st.link_times.append(time.time())
    os.kill(st.program.pid, signal.SIGSTOP)
    time.sleep(3)
    os.kill(st.program.pid, signal.SIGCONT)
    return {"cost": "the library's watchdog may reopen the card link after 3 s without "
            "heartbeat: frames lost only at that reopen"}


def hostile_datagrams(rng):
    out = []
    for _ in range(200):
        out.append(rng.randbytes(rng.randint(1, 1500)))
    for n in range(4):
        out.append(rng.randbytes(n))
    out.append(rng.randbytes(65507))
    out.append(b"\x00" * 65507)
    for version in (0, 1, 127, 129, 255):
        for bid in (0x00020101, 0x00010101, 0x00110101):
            p = bytearray(36)
            p[0] = version
            struct.pack_into("<HIII", p, 1, 8080, 0x80000307, 0x80000307, bid)
            struct.pack_into("<H", p, 30, 4)
            out.append(bytes(p))
            out.append(bytes(p[:35]))
            q = bytearray(p)
            struct.pack_into("<H", q, 30, 60000)  # a length beyond the datagram
            out.append(bytes(q))
    return out


def fault_hostile(st, rng):
    """A burst of random, short, oversized and wrongly versioned datagrams
    at every UDP port the program listens on."""
    datagrams = hostile_datagrams(rng)
    targets = [("127.0.0.1", st.ports[k]) for k in ("bc", "uclocal", "mc")]
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 1 << 20)
    sent = 0
    for _ in range(5):
        for d in datagrams:
            for t in targets:
                try:
                    s.sendto(d, t)
                    sent += 1
                except OSError:
                    pass
    s.close()
    return {"cost": "nothing: every datagram is ignored", "datagrams": sent}


def fault_disk_full(st):
    """The recording volume filled up by another writer."""
    volume = st.record_dir
    # Only ever the run's own size-limited volume, never the disk under it.
    if not os.path.ismount(volume):
        return {"cost": "skipped: the recording folder is not its own volume", "message": None}
    filler = os.path.join(volume, "filler")
    with open(filler, "wb") as f:
        try:
            os.posix_fallocate(f.fileno(), 0, max(1, shutil.disk_usage(volume).free))
        except OSError:
            pass
        block = b"\0" * (1 << 20)
        try:
            while shutil.disk_usage(volume).free > 0:
                f.write(block)
                f.flush()
        except OSError:
            pass
    # The program notices at its next write, within the second.
    deadline = time.time() + 30
    while time.time() < deadline and "文件写入失败" not in st.program.errors():
        time.sleep(0.5)
    return {
        "cost": "the recording stops with a message and a header that counts its records; "
        "nothing else lost",
        "message": "文件写入失败" in st.program.errors(),
    }


FAULTS = [
    ("link_drop", fault_link_drop),
    ("engine_restart", fault_engine_restart),
    ("stationrx_restart", fault_rx_restart),
    ("lock_loss", fault_lock_loss),
    ("sigstop", fault_sigstop),
    ("hostile_datagrams", None),
]


# ---- the recording volume for the disk-full fault -------------------------


def mount_volume(path, size_bytes):
    """A size-limited volume: ext4 in a loop device, else tmpfs; None when
    neither can be mounted (not root)."""
    os.makedirs(path, exist_ok=True)
    image = path + ".img"
    try:
        with open(image, "wb") as f:
            f.truncate(size_bytes)
        subprocess.run(["mkfs.ext4", "-q", "-F", "-m", "0", image], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["mount", "-o", "loop", image, path], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return "ext4 loop, %d MB" % (size_bytes >> 20)
    except (OSError, subprocess.CalledProcessError):
        if os.path.exists(image):
            os.remove(image)
    try:
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % size_bytes, "tmpfs", path],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return "tmpfs, %d MB" % (size_bytes >> 20)
    except (OSError, subprocess.CalledProcessError):
        return None


def unmount_volume(path):
    subprocess.run(["umount", path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    image = path + ".img"
    if os.path.exists(image):
        os.remove(image)


# ---- the run ----------------------------------------------------------------

T0 = time.time()


def log(text):
    print("soak: %6.1f s %s" % (time.time() - T0, text), flush=True)


def run(args):
    stamp = datetime.datetime.now().strftime("%Y%m%d-%H%M%S")
    out = os.path.abspath(os.path.join(args.out, stamp + ("-chaos" if args.chaos else "")))
    os.makedirs(out)
    latest = os.path.join(args.out, "latest")
    if os.path.islink(latest) or os.path.exists(latest):
        os.remove(latest)
    os.symlink(out, latest)
    duration = args.minutes * 60
    st = Station(args, out)
    load_start = os.getloadavg()
    rng = random.Random(46)

    volume_kind = None
    st.record_dir = os.path.join(out, "recording")
    if args.chaos:
        # Room for the whole run at the engine's rate and a margin.
        size = int(MBPS * 1e6 / 8 * 1.05 * (duration + 60)) + (256 << 20)
        volume_kind = mount_volume(st.record_dir, size)
    os.makedirs(st.record_dir, exist_ok=True)
    write_para_ini(st.home, st.ports, st.record_dir)

    faults = []
    if args.chaos:
        every = args.fault_every or min(120.0, max(10.0, (duration - 40) / (len(FAULTS) + 1)))
        slots = []
        t = every
        while t <= duration - 25:
            slots.append(t)
            t += every
        kinds = [FAULTS[i % len(FAULTS)][0] for i in range(len(slots))]
        if volume_kind and kinds:
            kinds[-1] = "disk_full"  # the recording ends there, so it comes last
        faults = list(zip(slots, kinds))
    log(f"{out}: {args.minutes} min, {len(faults)} faults, sample every {args.sample} s")

    st.start_engine()
    st.start_rx()
    st.start_program()
    samples = []
    started = time.time()
    next_sample = started
    pending = list(faults)
    fault_log = []
    try:
        while True:
            now = time.time()
            if now - started >= duration:
                break
            if not st.program.alive():
                log("the program ended early")
                break
            if now >= next_sample:
                s = st.stat.read()
                status = st.last_status()
                if s:
                    s["t"] = now - started
                    s["frames_per_s"] = int(status["frames_per_s"]) if status else 0
                    s["load1"] = os.getloadavg()[0]
                    samples.append(s)
                next_sample += args.sample
            if pending and now - started >= pending[0][0]:
                _, kind = pending.pop(0)
                e = st.event(kind)
                if kind == "hostile_datagrams":
                    e.update(fault_hostile(st, rng))
                elif kind == "disk_full":
                    e.update(fault_disk_full(st))
                else:
                    e.update(dict(FAULTS)[kind](st))
                e["end"] = time.time()
                fault_log.append(e)
            time.sleep(0.2)
    finally:
        program_exit = st.program.stop(signal.SIGTERM, 90)
        st.stop_rx()
        st.stop_engine()
    ended = time.time()
    load_end = os.getloadavg()

    results = evaluate(st, args, samples, fault_log, started, program_exit, volume_kind)
    results["load"] = {"start": load_start, "end": load_end,
                       "mean_1min": sum(s["load1"] for s in samples) / max(1, len(samples))}
    results["seconds"] = ended - started
    with open(os.path.join(out, "samples.json"), "w") as f:
        json.dump(samples, f)
    with open(os.path.join(out, "results.json"), "w") as f:
        json.dump(results, f, indent=1, default=str)
    plot(samples, fault_log, started, os.path.join(out, "plot.png"))
    write_report(out, args, results, samples, fault_log, started)
    if volume_kind:
        subprocess.run(["umount", st.record_dir], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        if not args.keep:
            unmount_volume(st.record_dir)
    elif not args.keep:
        shutil.rmtree(st.record_dir, ignore_errors=True)
    ok = all(c["ok"] for c in results["checks"])
    log(("PASS" if ok else "FAIL") + f": report in {out}/report.md")
    return 0 if ok else 1


def evaluate(st, args, samples, fault_log, started, program_exit, volume_kind):
    checks = []

    def check(name, ok, detail):
        checks.append({"name": name, "ok": bool(ok), "detail": detail})

    out = st.program.output()
    summary = None
    statuses = []
    for line in out.splitlines():
        f = parse_fields(line, "status")
        if f:
            statuses.append(f)
        f = parse_fields(line, "summary")
        if f:
            summary = f
    check("program ends cleanly", program_exit == 0 and summary is not None,
          f"exit code {program_exit}, summary {'present' if summary else 'missing'}")

    chaos = bool(fault_log)
    link_events = len(st.link_times)
    disk_full = [e for e in fault_log if e["kind"] == "disk_full"]

    # The recording.
    files = sorted(
        os.path.join(st.record_dir, n) for n in os.listdir(st.record_dir)
        if n.endswith(".dat") and "解密前" in n
    )
    rec = None
    if len(files) != 1:
        check("one recording", False, f"{len(files)} files in {st.record_dir}")
    else:
        rec = check_recording(files[0], 4, st.link_times, started)
        check("recording header counts its records", rec.get("header_records") == rec.get("records"),
              f"header {rec.get('header_records')}, whole records {rec.get('records')}, "
              f"partial tail {rec['partial_bytes']} bytes")
        check("every frame once and in order within each engine stream", rec.get("broken") == 0,
              f"{rec.get('broken')} records break their stream; "
              + "; ".join(rec["faults"][:4]))
        streams = rec["streams"]
        late = [s for s in streams[1:] if not s["near_link_event"]]
        check("streams start only at link events",
              len(streams) - 1 <= link_events and not late,
              f"{len(streams)} streams, {link_events} link events, "
              f"{len(late)} starts away from a link event")
        if summary:
            rb = int(summary.get("recorded_bytes", "-1"))
            check("summary counts the recorded bytes", rb == rec["size"] - 1024,
                  f"summary {rb}, file {rec['size'] - 1024}")
        if not disk_full and summary:
            frames = int(summary.get("frames", "0"))
            check("the recording holds the frames received",
                  rec["records"] > 0 and rec["records"] <= frames,
                  f"{rec['records']} records of {frames} frames received")
    if disk_full:
        e = disk_full[0]
        check("disk full: the recording stops with a message", e.get("message"),
              "message on the program's error output" if e.get("message") else "no message")
        after = [s for s in statuses[-5:]]
        check("disk full: the program goes on", len(after) == 5 and program_exit == 0,
              "status lines after the disk filled")

    # The receivers.
    for i, r in enumerate(st.rx_runs):
        s = r["summary"] or {}
        ok = r["summary"] is not None and all(s.get(k) == 0 for k in ("lost", "duplicates",
                                                                      "reordered", "malformed"))
        # A record missing from the telemetry breaks the frame counter; so
        # does each engine start.
        breaks = s.get("counter_breaks", -1)
        ok = ok and 0 <= breaks <= (link_events + 1 if chaos else 0)
        check(f"stationrx run {i + 1}: no packet or record lost, duplicated or reordered",
              ok and s.get("records", 0) > 0,
              ", ".join(f"{k} {s.get(k)}" for k in ("records", "lost", "duplicates", "reordered",
                                                    "malformed", "counter_breaks")))

    # The continuity reports: only their head, no fault entries, outside
    # the link events that restart the engine's counter.
    last = statuses[-1] if statuses else {}
    jumps = last.get("frame_jumps", "?")
    if chaos:
        check("frame-count jumps only at link events",
              jumps.isdigit() and int(jumps) <= link_events,
              f"frame_jumps={jumps}, {link_events} link events")
    else:
        check("frame-count report empty", jumps == "0", f"frame_jumps={jumps}")
    check("time-continuity check", last.get("time_jumps") in ("0", "off"),
          f"time_jumps={last.get('time_jumps')} (off: the check refuses this frame period)")
    if not chaos:
        sync = last.get("sync_loss", "?")
        check("no sync loss", sync == "0", f"sync_loss={sync}")

    # Resources: descriptors and threads constant, RSS growth after warm-up.
    settled = [s for s in samples if s["t"] >= min(60, args.minutes * 60 / 3)]
    if len(settled) >= 2:
        fds = [s["fds"] for s in settled]
        th = [s["threads"] for s in settled]
        # A full disk closes the two recording files.
        closed = 2 if disk_full and disk_full[0].get("message") else 0
        check("descriptors constant", fds[0] - closed == fds[-1] and (chaos or min(fds) == max(fds)),
              f"{fds[0]} .. {fds[-1]} (range {min(fds)}-{max(fds)})"
              + (", the two recording files closed at the full disk" if closed else ""))
        check("threads constant", th[0] == th[-1] and (chaos or min(th) == max(th)),
              f"{th[0]} .. {th[-1]} (range {min(th)}-{max(th)})")
    late = [s for s in samples if s["t"] >= WARM_UP_S]
    if len(late) >= 3 and late[-1]["t"] - late[0]["t"] >= 600:
        n = len(late)
        mt = sum(s["t"] for s in late) / n
        mr = sum(s["rss_kb"] for s in late) / n
        slope = sum((s["t"] - mt) * (s["rss_kb"] - mr) for s in late) / sum(
            (s["t"] - mt) ** 2 for s in late)
        mb_per_h = slope * 3600 / 1024
        check("RSS grows less than 1 MB per hour after 5 min", mb_per_h < 1.0,
              f"{mb_per_h:.2f} MB/h over {(late[-1]['t'] - late[0]['t']) / 60:.0f} min")
    else:
        rss = [s["rss_kb"] for s in samples]
        checks.append({"name": "RSS growth", "ok": True,
                       "detail": "not judged: under 15 min of samples; RSS %s MB" % (
                           f"{rss[0] / 1024:.1f} .. {rss[-1] / 1024:.1f}" if rss else "-")})
    cpu = []
    for a, b in zip(samples, samples[1:]):
        if b["t"] > a["t"]:
            cpu.append((b["cpu_s"] - a["cpu_s"]) / (b["t"] - a["t"]) * 100)
    return {
        "checks": checks,
        "summary": summary,
        "last_status": last,
        "recording": rec,
        "rx_runs": st.rx_runs,
        "link_events": link_events,
        "link_times": st.link_times,
        "volume": volume_kind,
        "cpu_mean": sum(cpu) / len(cpu) if cpu else None,
    }


def plot(samples, fault_log, started, path):
    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        return
    t = [s["t"] / 60 for s in samples]
    cpu = [0.0] + [
        (b["cpu_s"] - a["cpu_s"]) / max(1e-9, b["t"] - a["t"]) * 100
        for a, b in zip(samples, samples[1:])
    ]
    fig, ax = plt.subplots(3, 1, figsize=(8, 7), sharex=True)
    ax[0].plot(t, [s["rss_kb"] / 1024 for s in samples])
    ax[0].set_ylabel("RSS, MB")
    ax[1].plot(t, cpu)
    ax[1].set_ylabel("CPU, % of a core")
    ax[2].plot(t, [s["frames_per_s"] for s in samples])
    ax[2].set_ylabel("frames/s")
    ax[2].set_xlabel("minutes")
    for e in fault_log:
        for a in ax:
            a.axvline((e["t"] - started) / 60, color="red", alpha=0.3)
        ax[0].annotate(e["kind"], ((e["t"] - started) / 60, ax[0].get_ylim()[1]),
                       rotation=90, fontsize=6, va="top")
    for a in ax:
        a.grid(alpha=0.3)
    fig.tight_layout()
    fig.savefig(path, dpi=90)


def write_report(out, args, results, samples, fault_log, started):
    r = results
    lines = []
    ok = all(c["ok"] for c in r["checks"])
    cmd = "scripts/soak %g%s" % (args.minutes, " --chaos" if args.chaos else "")
    lines.append(f"# Soak run {os.path.basename(out)}: {'PASS' if ok else 'FAIL'}")
    lines.append("")
    lines.append(f"- command: `{cmd}` (sample every {args.sample:g} s)")
    lines.append(f"- ran {r['seconds'] / 60:.1f} min from "
                 f"{datetime.datetime.fromtimestamp(started):%Y-%m-%d %H:%M}, "
                 f"{os.cpu_count()} cores")
    ld = r["load"]
    lines.append("- load average (1, 5, 15 min): at start %.2f %.2f %.2f, at end %.2f %.2f %.2f; "
                 "mean of the 1-min figure over the samples %.2f"
                 % (*ld["start"], *ld["end"], ld["mean_1min"]))
    lines.append(f"- cardengine `--full-speed --dem-rate-mbps {MBPS}` (3 x 20 Mbit/s); "
                 "the headless program records, checks frame counts (word 5) and time, "
                 "sends telemetry and the full-frame broadcast; stationrx receives")
    if r["cpu_mean"] is not None:
        lines.append(f"- program CPU mean {r['cpu_mean']:.1f} % of one core")
    if r["volume"]:
        lines.append(f"- recording volume: {r['volume']}")
    lines.append("")
    lines.append("| check | result | figures |")
    lines.append("|---|---|---|")
    for c in r["checks"]:
        lines.append(f"| {c['name']} | {'ok' if c['ok'] else '**FAIL**'} | {c['detail']} |")
    if fault_log:
        lines.append("")
        lines.append("| min | fault | what it may cost |")
        lines.append("|---|---|---|")
        for e in fault_log:
            extra = f" ({e['datagrams']} datagrams)" if "datagrams" in e else ""
            lines.append(f"| {(e['t'] - started) / 60:.1f} | {e['kind']}{extra} | {e['cost']} |")
    if r["recording"]:
        rec = r["recording"]
        lines.append("")
        lines.append(f"Recording: {rec.get('records')} records of {RECORD} bytes "
                     f"({rec['size'] / 1e9:.2f} GB), {len(rec['streams'])} engine streams, "
                     f"{r['link_events']} link events.")
        lines.append("")
        lines.append("Engine streams begin (min): " + ", ".join(
            "%.2f%s" % ((x["wall"] - started) / 60, "" if x["near_link_event"] or i == 0 else " (away)")
            for i, x in enumerate(rec["streams"])) + "; link events (min): " + ", ".join(
            "%.2f" % ((t - started) / 60) for t in r["link_times"]))
    lines.append("")
    lines.append("![RSS, CPU and frame rate](plot.png)")
    with open(os.path.join(out, "report.md"), "w") as f:
        f.write("\n".join(lines) + "\n")


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("minutes", type=float, nargs="?", default=60)
    p.add_argument("--chaos", action="store_true")
    p.add_argument("--sample", type=float, default=None, help="seconds between samples")
    p.add_argument("--fault-every", type=float, default=None, help="seconds between faults")
    p.add_argument("--bin", required=True)
    p.add_argument("--out", required=True)
    p.add_argument("--keep", action="store_true", help="keep the recording")
    args = p.parse_args()
    if args.sample is None:
        args.sample = 60.0 if args.minutes >= 15 else 5.0
    sys.exit(run(args))


if __name__ == "__main__":
    main()
