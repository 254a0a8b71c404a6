#!/usr/bin/env python3
"""TFTP benchmark driver: ravendockd and merrowinc against tftpd-hpa, atftpd, dnsmasq, tftp-hpa,
atftp and curl, all on 127.0.0.1 in one run on one machine, each case pinned with taskset in two
placements (client and server on the same CPU, and on different CPUs).

Run through bench/run.sh, which installs the packages and builds the Release binaries first.
Only the Python standard library is used. Must run as root (tftpd-hpa chroots, dnsmasq's TFTP
port is always 69, the CPU accounting uses cgroups).

Method (see bench/README.md for the longer version):
  * Wall time of a case: from the start of the first client process to the exit of the last one
    (pidfd wake-ups, no polling delay). Every case runs --runs times; the median is reported.
  * Server CPU: each server runs in a cgroup of its own; user+system time is read from the
    cgroup (v2 cpu.stat, else v1 cpuacct) before the case and after the server has gone quiet.
    This covers threads and forked children (tftpd-hpa forks one process per transfer).
    Without cgroups: /proc/PID/stat utime+stime+cutime+cstime (children only once reaped).
  * Peak memory: a fresh server per measurement, 256 concurrent fetches; the largest sum of
    VmRSS (and of Pss) over all processes of the server, sampled every 20 ms, and the main
    process's VmHWM at the end (exact for single-process servers).
  * Instructions: `perf stat -e instructions` when the CPU exposes the counter, else callgrind
    (user-space instructions only). Server started under the tool, a fetch, server stopped;
    minus a run with no transfer (start-up, readiness probe, shut-down), divided by the MiB.
  * Every transferred file is checked with sha256; a failed or corrupted transfer makes the
    run exit with status 1 (the results are still written, with the failure marked).
"""

from __future__ import annotations

import argparse
import datetime
import hashlib
import json
import math
import os
import platform
import pwd
import grp
import random
import re
import select
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

HOST = "127.0.0.1"
MIB = 1024 * 1024
GIB = 1024 * MIB
OURS_SERVER = "ravendockd"
WINDOWED_SERVER = "ravendockd-window"  # ravendockd with its window open (--window-open)
OURS_CLIENT = "merrowinc"
SERVERS = ["ravendockd", "tftpd-hpa", "atftpd", "dnsmasq", "floor"]
# Measured alongside but not a peer: never the "best peer" of a row.
REFERENCE_SERVER = "floor"
CLIENTS = ["merrowinc", "tftp-hpa", "atftp", "curl"]
CLIENT_TABLE_SERVER = "tftpd-hpa"  # the one server every client is measured against
# Windowed rows (windowsize, RFC 7440): atftp and atftpd are the only peers that speak it.
WINDOW_SERVERS = ["ravendockd", "atftpd"]
WINDOW_CLIENT_FOR_SERVERS = "atftp"
WINDOW_CLIENTS = ["merrowinc", "atftp"]
WINDOW_SERVER_FOR_CLIENTS = "atftpd"
MERROWINC_MAX_BLKSIZE = 65420  # the largest block size merrowinc accepts (--blksize)
ATFTPD_BIN = "/usr/local/sbin/atftpd"
PLACEMENTS = ["same", "split"]
PLACEMENT_TEXT = {"same": "same CPU", "split": "different CPUs"}

T0 = time.monotonic()


def log(msg: str) -> None:
    elapsed = time.monotonic() - T0
    print(f"[{int(elapsed) // 60:3d}:{int(elapsed) % 60:02d}] {msg}", flush=True)


class BenchError(Exception):
    pass


# --------------------------------------------------------------------------------------------
# small helpers


def sha256_file(path: Path) -> str:
    h = hashlib.sha256()
    with open(path, "rb") as f:
        while True:
            chunk = f.read(4 * MIB)
            if not chunk:
                break
            h.update(chunk)
    return h.hexdigest()


def make_random_file(path: Path, size: int) -> str:
    h = hashlib.sha256()
    with open(path, "wb") as f:
        left = size
        while left > 0:
            chunk = os.urandom(min(left, 4 * MIB))
            f.write(chunk)
            h.update(chunk)
            left -= len(chunk)
    return h.hexdigest()


def size_text(size: int) -> str:
    if size % MIB == 0:
        return f"{size // MIB} MiB"
    if size % 1024 == 0:
        return f"{size // 1024} KiB"
    return f"{size} B"


def run_text(cmd: list[str], timeout: float = 10) -> str:
    try:
        r = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, timeout=timeout, check=False)
        return r.stdout.decode(errors="replace").strip()
    except (OSError, subprocess.TimeoutExpired) as e:
        return f"({cmd[0]}: {e})"


def udp_port_bound(port: int) -> bool:
    """True when something has a UDP socket bound to 127.0.0.1:port or 0.0.0.0:port."""
    want = {f"0100007F:{port:04X}", f"00000000:{port:04X}"}
    try:
        with open("/proc/net/udp") as f:
            next(f)
            for line in f:
                fields = line.split()
                if len(fields) > 1 and fields[1] in want:
                    return True
    except OSError:
        pass
    return False


def free_udp_port() -> int:
    for _ in range(50):
        port = random.randint(20000, 59999)
        if not udp_port_bound(port):
            return port
    raise BenchError("no free UDP port found")


def probe_ready(port: int, seconds: float) -> bool:
    """Sends read requests for a missing file until the server answers with an ERROR packet."""
    deadline = time.monotonic() + seconds
    name = b"ravenbench-probe-no-such-file.bin"
    rrq = b"\x00\x01" + name + b"\x00octet\x00"
    while time.monotonic() < deadline:
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.bind((HOST, 0))
            s.settimeout(0.5)
            try:
                s.sendto(rrq, (HOST, port))
                data, _ = s.recvfrom(2048)
                if len(data) >= 2 and data[1] == 5:
                    return True
                # Anything else (a DATA packet for a file that should not exist): not our server.
                return False
            except (socket.timeout, ConnectionRefusedError):
                pass
        time.sleep(0.2)
    return False


def read_status_kib(pid: int, key: str) -> int:
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith(key + ":"):
                    return int(line.split()[1])
    except (OSError, ValueError):
        pass
    return 0


def read_pss_kib(pid: int) -> int:
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                if line.startswith("Pss:"):
                    return int(line.split()[1])
    except (OSError, ValueError):
        pass
    return 0


def children_of(pid: int) -> list[int]:
    out = []
    try:
        for tid in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{tid}/children") as f:
                out += [int(x) for x in f.read().split()]
    except OSError:
        pass
    return out


def descendants(pid: int) -> list[int]:
    seen, todo = [], [pid]
    while todo and len(seen) < 10000:
        p = todo.pop()
        seen.append(p)
        todo += children_of(p)
    return seen


# --------------------------------------------------------------------------------------------
# CPU accounting per server: cgroup v2, else v1 cpuacct, else /proc


class CpuAccounting:
    def __init__(self, tag: str):
        self.kind = "proc"
        self.base: Path | None = None
        candidates = []
        if Path("/sys/fs/cgroup/cgroup.controllers").exists():
            candidates.append(("cgroup v2", Path("/sys/fs/cgroup")))
        if Path("/sys/fs/cgroup/unified/cgroup.procs").exists():
            candidates.append(("cgroup v2", Path("/sys/fs/cgroup/unified")))
        if Path("/sys/fs/cgroup/cpuacct/cgroup.procs").exists():
            candidates.append(("cgroup v1 cpuacct", Path("/sys/fs/cgroup/cpuacct")))
        for kind, root in candidates:
            base = root / tag
            try:
                base.mkdir()
            except OSError:
                continue
            probe = base / "probe"
            try:
                probe.mkdir()
                ok = (probe / ("cpu.stat" if kind == "cgroup v2" else "cpuacct.usage")).exists()
                probe.rmdir()
            except OSError:
                ok = False
            if ok:
                self.kind, self.base = kind, base
                break
            try:
                base.rmdir()
            except OSError:
                pass

    def describe(self) -> str:
        if self.base is None:
            return ("/proc/PID/stat utime+stime+cutime+cstime of the server process "
                    "(no usable cgroup; forked children count once reaped)")
        return f"{self.kind} of its own ({self.base}/<server>), user+system of all its processes"

    def create(self, name: str) -> Path | None:
        if self.base is None:
            return None
        path = self.base / name
        if path.exists():
            self.kill(path)
            self.remove(path)
        path.mkdir()
        return path

    def procs(self, path: Path | None, main_pid: int) -> list[int]:
        if path is None:
            return descendants(main_pid)
        try:
            return [int(x) for x in (path / "cgroup.procs").read_text().split()]
        except OSError:
            return []

    def usage(self, path: Path | None, main_pid: int) -> tuple[float, float]:
        """(user, system) seconds."""
        if path is None:
            try:
                with open(f"/proc/{main_pid}/stat") as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                tick = os.sysconf("SC_CLK_TCK")
                user = (int(fields[11]) + int(fields[13])) / tick
                system = (int(fields[12]) + int(fields[14])) / tick
                return user, system
            except (OSError, IndexError, ValueError):
                return 0.0, 0.0
        if self.kind == "cgroup v2":
            values = {}
            for line in (path / "cpu.stat").read_text().splitlines():
                k, _, v = line.partition(" ")
                values[k] = int(v)
            return values.get("user_usec", 0) / 1e6, values.get("system_usec", 0) / 1e6
        user_file, sys_file = path / "cpuacct.usage_user", path / "cpuacct.usage_sys"
        if user_file.exists() and sys_file.exists():
            return int(user_file.read_text()) / 1e9, int(sys_file.read_text()) / 1e9
        total = int((path / "cpuacct.usage").read_text()) / 1e9
        return total, 0.0

    def kill(self, path: Path | None) -> None:
        if path is None:
            return
        if (path / "cgroup.kill").exists():
            try:
                (path / "cgroup.kill").write_text("1")
            except OSError:
                pass
        for pid in self.procs(path, 0):
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass

    def remove(self, path: Path | None) -> None:
        if path is None:
            return
        for _ in range(50):
            try:
                path.rmdir()
                return
            except OSError:
                self.kill(path)
                time.sleep(0.1)

    def close(self) -> None:
        if self.base is None:
            return
        for child in list(self.base.iterdir()):
            if child.is_dir():
                self.remove(child)
        try:
            self.base.rmdir()
        except OSError:
            pass


# --------------------------------------------------------------------------------------------
# servers


class Server:
    name = ""
    ours = False
    uploads = True
    fixed_port: int | None = None

    def __init__(self, work: Path, acct: CpuAccounting, opts):
        self.dir = work / "srv" / self.name
        self.read_dir = self.dir / "root"
        self.upload_dir = self.read_dir
        self.acct = acct
        self.opts = opts
        self.proc: subprocess.Popen | None = None
        self.cgroup: Path | None = None
        self.port = 0
        self.instrument: str | None = None
        self.instr_dir: Path | None = None
        self.log_path = self.dir / "server.log"

    # subclasses
    def layout(self) -> None:
        self.read_dir.mkdir(parents=True, exist_ok=True)

    def command(self) -> tuple[list[str], dict | None, Path]:
        raise NotImplementedError

    def version(self) -> str:
        return ""

    # common
    def start(self, core: int, instrument: str | None = None, instr_dir: Path | None = None,
              perf_event: str = "instructions") -> None:
        self.stop()
        self.layout()
        if self.fixed_port is not None:
            self.port = self.fixed_port
            if udp_port_bound(self.port):
                owner = run_text(["sh", "-c", f"ss -Hlunp 'sport = :{self.port}' 2>/dev/null"])
                raise BenchError(f"{self.name}: UDP port {self.port} is already in use "
                                 f"({owner or 'unknown owner'}); {self.name} can only listen there")
        else:
            self.port = free_udp_port()
        cmd, env, cwd = self.command()
        self.instrument, self.instr_dir = instrument, instr_dir
        # taskset stays outermost: valgrind would not follow its exec of the server.
        if instrument == "callgrind":
            assert instr_dir is not None
            # callgrind counts every iteration of a `rep stos`/`rep movs` as one instruction,
            # so glibc's memset/memcpy of large buffers would count once per byte; these
            # thresholds make glibc use its vector loops instead.
            env = dict(env if env is not None else os.environ)
            tunables = [t for t in env.get("GLIBC_TUNABLES", "").split(":") if t]
            tunables += ["glibc.cpu.x86_rep_stosb_threshold=4294967295",
                         "glibc.cpu.x86_rep_movsb_threshold=4294967295"]
            env["GLIBC_TUNABLES"] = ":".join(tunables)
            cmd = ["valgrind", "--tool=callgrind", f"--callgrind-out-file={instr_dir}/cg.%p",
                   f"--log-file={instr_dir}/vg.%p.log"] + cmd
        elif instrument == "perf":
            assert instr_dir is not None
            cmd = ["perf", "stat", "-x,", "-e", perf_event, "-o", str(instr_dir / "perf.csv"),
                   "--"] + cmd
        cmd = ["taskset", "-c", str(core)] + cmd
        self.cgroup = self.acct.create(self.name)
        cg = self.cgroup

        def enter():
            if cg is not None:
                with open(cg / "cgroup.procs", "w") as f:
                    f.write(str(os.getpid()))

        self.command_line = " ".join(cmd)
        logf = open(self.log_path, "ab")
        try:
            self.proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=logf,
                                         stderr=subprocess.STDOUT, env=env, cwd=cwd,
                                         preexec_fn=enter, start_new_session=True)
        finally:
            logf.close()
        ready_seconds = 90 if instrument else 15
        if not probe_ready(self.port, ready_seconds):
            tail = self.log_tail()
            self.stop()
            raise BenchError(f"{self.name} did not answer on {HOST}:{self.port} within "
                             f"{ready_seconds} s; its output: {tail}")

    def log_tail(self) -> str:
        try:
            return " | ".join(self.log_path.read_text(errors="replace").splitlines()[-5:])
        except OSError:
            return ""

    def server_pid(self) -> int:
        assert self.proc is not None
        if self.instrument == "perf":
            kids = children_of(self.proc.pid)
            return kids[0] if kids else self.proc.pid
        return self.proc.pid

    def alive(self) -> bool:
        return self.proc is not None and self.proc.poll() is None

    def cpu(self) -> tuple[float, float]:
        assert self.proc is not None
        return self.acct.usage(self.cgroup, self.server_pid())

    def procs(self) -> list[int]:
        assert self.proc is not None
        return self.acct.procs(self.cgroup, self.server_pid())

    def stop(self) -> int | None:
        rc = None
        if self.proc is not None:
            # Without a cgroup, forked children are found through the process tree.
            strays = descendants(self.server_pid())[1:] if self.cgroup is None else []
            if self.proc.poll() is None:
                try:
                    os.kill(self.server_pid(), signal.SIGTERM)
                except OSError:
                    pass
                try:
                    rc = self.proc.wait(timeout=60 if self.instrument else 10)
                except subprocess.TimeoutExpired:
                    self.proc.kill()
                    rc = self.proc.wait(timeout=10)
            else:
                rc = self.proc.returncode
            for pid in strays:
                try:
                    os.kill(pid, signal.SIGKILL)
                except OSError:
                    pass
            self.proc = None
        if self.cgroup is not None:
            self.acct.kill(self.cgroup)
            self.acct.remove(self.cgroup)
            self.cgroup = None
        return rc

    def stored_path(self, remote: str) -> Path:
        return self.upload_dir / remote


class Ravendockd(Server):
    name = "ravendockd"
    ours = True

    def __init__(self, work, acct, opts):
        super().__init__(work, acct, opts)
        self.read_dir = self.dir / "out"
        self.upload_dir = self.dir / "in"
        self.bin = opts.server_bin

    def layout(self):
        self.read_dir.mkdir(parents=True, exist_ok=True)
        self.upload_dir.mkdir(parents=True, exist_ok=True)

    def command(self):
        config = self.dir / "config"
        config.mkdir(parents=True, exist_ok=True)
        # bDelete 0x70e: tsize and timeout options allowed; nSliders 0x65: no client limit.
        (config / "ravendockd.reg").write_text(
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quenmarsh\\Tollerby]\n"
            f'"OutPath"="{self.read_dir}/"\n"InPath"="{self.upload_dir}/"\n'
            f'"Port"="{self.port}"\n"Timeout"="5"\n'
            '"bDelete"=dword:0000070e\n"nSliders"=dword:00000065\n')
        env = dict(os.environ, XDG_CONFIG_HOME=str(config))
        return [self.bin, "--headless", f"--listen={HOST}"], env, self.dir

    def version(self):
        return f"git {self.opts.git_rev}"


class RavendockdWindow(Ravendockd):
    """ravendockd with its main window open on the bench's own X display; the same settings as
    the headless one, plus no splash (it would cover the window for 20 s)."""
    name = WINDOWED_SERVER

    def command(self):
        cmd, env, cwd = super().command()
        reg = self.dir / "config" / "ravendockd.reg"
        reg.write_text(reg.read_text().replace('"bDelete"=dword:0000070e',
                                               '"bDelete"=dword:0000071e'))
        env["DISPLAY"] = self.opts.display
        env.pop("WAYLAND_DISPLAY", None)
        return [a for a in cmd if a != "--headless"], env, cwd


class TftpdHpa(Server):
    name = "tftpd-hpa"

    def command(self):
        # -L foreground, -s chroot to the folder, -c uploads may create files, -p no extra
        # permission checks. One process forked per transfer.
        user = pwd.getpwuid(os.geteuid()).pw_name
        return (["in.tftpd", "-L", "-s", "-c", "-p", "-u", user, "-a", f"{HOST}:{self.port}",
                 str(self.read_dir)], None, self.dir)

    def version(self):
        return dpkg_version("tftpd-hpa")


class Atftpd(Server):
    name = "atftpd"

    def layout(self):
        super().layout()
        os.chmod(self.read_dir, 0o777)  # atftpd wants a world-writable folder

    def command(self):
        user = pwd.getpwuid(os.geteuid()).pw_name
        group = grp.getgrgid(os.getegid()).gr_name
        return ([ATFTPD_BIN, "--daemon", "--no-fork", "--port", str(self.port),
                 "--bind-address", HOST, "--user", f"{user}.{group}", "--maxthread", "1024",
                 "--logfile", str(self.dir / "atftpd.log"), str(self.read_dir)], None, self.dir)

    def version(self):
        return run_text([ATFTPD_BIN, "--version"]).splitlines()[0] + " (Debian package, unpacked)"


class Dnsmasq(Server):
    name = "dnsmasq"
    uploads = False  # dnsmasq's TFTP server is read-only
    fixed_port = 69  # dnsmasq has no option for its TFTP port

    def command(self):
        # No DNS (--port=0), no system configuration, no privilege drop; TFTP only, bound to
        # 127.0.0.1. --edns-packet-max=65535 lifts the block size cap (2263 by default).
        return (["dnsmasq", "--keep-in-foreground", "--conf-file=/dev/null", "--port=0",
                 "--no-resolv", "--no-hosts", "--pid-file=", "--user=root", "--group=root",
                 f"--listen-address={HOST}", "--bind-interfaces", "--enable-tftp",
                 f"--tftp-root={self.read_dir}", "--tftp-max=1024", "--edns-packet-max=65535",
                 f"--log-facility={self.dir / 'dnsmasq.log'}"], None, self.dir)

    def version(self):
        return run_text(["dnsmasq", "--version"]).splitlines()[0]


class FloorServer(Server):
    """bench/floor_server.cpp: the least a lock-step server can do per block (one wait, one
    receive, one send; files read 256 KiB at a time, no timers, no checks). Not a usable
    server: it shows how low server CPU per GiB can go on this machine at all."""
    name = REFERENCE_SERVER

    def command(self):
        return ([self.opts.floor_bin, f"--port={self.port}", f"--root={self.read_dir}"], None,
                self.dir)

    def version(self):
        return f"bench/floor_server.cpp, git {self.opts.git_rev}"


SERVER_CLASSES = {c.name: c for c in (Ravendockd, RavendockdWindow, TftpdHpa, Atftpd, Dnsmasq,
                                      FloorServer)}


def dpkg_version(pkg: str) -> str:
    v = run_text(["dpkg-query", "-W", "-f=${Version}", pkg])
    return f"{pkg} {v}"


# --------------------------------------------------------------------------------------------
# clients


def client_blksizes(client: str) -> set[int] | None:
    """Block sizes a client can ask for; None = any."""
    return {512} if client == "tftp-hpa" else None


def effective_blksize(client: str, bs: int) -> int:
    return min(bs, MERROWINC_MAX_BLKSIZE) if client == OURS_CLIENT else bs


def client_command(opts, client: str, op: str, port: int, remote: str, local: Path, bs: int,
                   timeout: int, window: int = 0) -> tuple[list[str], dict | None]:
    """op: get (fetch into local) or put (send local as remote); window: the windowsize option
    (RFC 7440) to ask for, 0 for none (atftp and merrowinc only)."""
    if client == "curl":
        url = f"tftp://{HOST}:{port}/{remote}"
        cmd = ["curl", "-sS", "-v", "--max-time", str(timeout), "--tftp-blksize", str(bs)]
        cmd += ["-o", str(local), url] if op == "get" else ["-T", str(local), url]
        return cmd, None
    if client == "tftp-hpa":
        if op == "get":
            return ["tftp", "-m", "octet", HOST, str(port), "-c", "get", remote, str(local)], None
        return ["tftp", "-m", "octet", HOST, str(port), "-c", "put", str(local), remote], None
    if client == "atftp":
        flag = "-g" if op == "get" else "-p"
        window_opt = ["--option", f"windowsize {window}"] if window else []
        return ["atftp", "--option", f"blksize {bs}"] + window_opt + \
            [flag, "-l", str(local), "-r", remote, HOST, str(port)], None
    if client == OURS_CLIENT:
        flag = "-G" if op == "get" else "-P"
        env = dict(os.environ, XDG_CONFIG_HOME=str(opts.client_config))
        window_opt = [f"--windowsize={window}"] if window else []
        return [opts.client_bin, f"-H{HOST}", f"-O{port}", f"-R{remote}", f"{flag}{local}", "-B",
                f"--blksize={effective_blksize(client, bs)}", "--headless"] + window_opt, env
    raise BenchError(f"unknown client {client}")


def client_failed(client: str, rc: int, output: str) -> str | None:
    """Why the client's own report says it failed, or None."""
    if client == OURS_CLIENT:
        # merrowinc exits 0 only when the transfer completed (see merrowinc(1) for the others).
        return None if rc == 0 else f"exit status {rc}"
    if rc != 0:
        return f"exit status {rc}"
    if client == "tftp-hpa" and re.search(r"error|timed out", output, re.I):
        # tftp-hpa exits 0 even when the server sent an ERROR.
        line = next((l for l in output.splitlines() if re.search(r"error|timed out", l, re.I)), "")
        return f"client reported: {line.strip()}"
    return None


def negotiated_blksize(client: str, output: str) -> int | None:
    if client == "curl":
        m = re.search(r"blksize parsed from OACK \((\d+)\)", output)
        if m:
            return int(m.group(1))
    return None


@dataclass
class ProcResult:
    rc: int
    cpu: float
    output: str
    timed_out: bool = False


def run_processes(cmds: list[tuple[list[str], dict | None, Path]], core: int,
                  timeout: float) -> tuple[float, list[ProcResult]]:
    """Starts every command (pinned to `core` with taskset), waits for all. Returns the wall
    time from the first start to the last exit, and each process's exit status and CPU."""
    pidfds: dict[int, tuple[int, subprocess.Popen]] = {}
    poller = select.poll()
    results: list[ProcResult | None] = [None] * len(cmds)
    procs: list[subprocess.Popen] = []
    t_start = time.perf_counter()
    t_last = t_start
    try:
        for i, (cmd, env, logpath) in enumerate(cmds):
            with open(logpath, "wb") as logf:
                try:
                    p = subprocess.Popen(["taskset", "-c", str(core)] + cmd,
                                         stdin=subprocess.DEVNULL, stdout=logf,
                                         stderr=subprocess.STDOUT, env=env)
                except OSError as e:
                    raise BenchError(f"cannot start {cmd[0]}: {e}") from e
            procs.append(p)
            fd = os.pidfd_open(p.pid)
            poller.register(fd, select.POLLIN)
            pidfds[fd] = (i, p)
        deadline = t_start + timeout
        while pidfds:
            left = deadline - time.perf_counter()
            if left <= 0:
                break
            events = poller.poll(max(1, int(left * 1000)))
            now = time.perf_counter()
            for fd, _ in events:
                i, p = pidfds.pop(fd)
                poller.unregister(fd)
                os.close(fd)
                _, status, ru = os.wait4(p.pid, 0)
                p.returncode = os.waitstatus_to_exitcode(status)
                results[i] = ProcResult(p.returncode, ru.ru_utime + ru.ru_stime, "")
                t_last = now
    finally:
        for fd, (i, p) in list(pidfds.items()):
            try:
                p.kill()
            except OSError:
                pass
            _, status, ru = os.wait4(p.pid, 0)
            p.returncode = os.waitstatus_to_exitcode(status)
            results[i] = ProcResult(p.returncode, ru.ru_utime + ru.ru_stime, "", timed_out=True)
            poller.unregister(fd)
            os.close(fd)
    out: list[ProcResult] = []
    for (cmd, env, logpath), r in zip(cmds, results):
        assert r is not None
        try:
            r.output = logpath.read_text(errors="replace")
        except OSError:
            r.output = ""
        out.append(r)
    return t_last - t_start, out


# --------------------------------------------------------------------------------------------
# cases and measurements


@dataclass(frozen=True)
class Case:
    op: str        # fetch, upload (a client sends to the server), conc (concurrent fetches)
    size: int      # bytes per transfer
    count: int     # transfers at once
    bs: int        # block size asked for
    window: int = 0  # windowsize asked for (RFC 7440), 0 = lock-step

    def label(self) -> str:
        if self.op == "conc":
            return f"{self.count} × {size_text(self.size)} fetch, blksize {self.bs}"
        verb = "fetch" if self.op == "fetch" else "upload"
        text = f"{size_text(self.size)} {verb}, blksize {self.bs}"
        return text + (f", windowsize {self.window}" if self.window else "")

    def key(self) -> str:
        base = f"{self.op}-{self.size}-{self.count}-{self.bs}"
        return base + (f"-w{self.window}" if self.window else "")


@dataclass(frozen=True)
class Job:
    case: Case
    placement: str
    server: str
    client: str

    def key(self) -> str:
        return f"{self.case.key()}/{self.placement}/{self.server}/{self.client}"


@dataclass
class Outcome:
    runs: list[dict] = field(default_factory=list)
    failed: str | None = None
    skipped: str | None = None  # not attempted (a peer that cannot do this case)


class Bench:
    def __init__(self, opts):
        self.opts = opts
        self.work = Path(tempfile.mkdtemp(prefix="ravenbench.", dir=opts.workdir_parent))
        self.acct = CpuAccounting(f"ravenbench-{os.getpid()}")
        self.servers: dict[str, Server] = {}
        self.outcomes: dict[str, Outcome] = {}
        self.jobs: list[Job] = []
        self.failures: list[str] = []
        self.notes: list[str] = []
        self.memory: dict[str, dict] = {}
        self.instructions: dict[str, dict] = {}
        self.instr_method = ""
        self.data: dict[str, tuple[Path, str]] = {}
        self.counter = 0
        self.deadline = time.monotonic() + opts.max_minutes * 60
        self.client_dir = self.work / "cli"
        self.client_dir.mkdir()
        opts.client_config = self.work / "merrowinc-config"
        opts.client_config.mkdir()

    # ---------------------------------------------------------------- set-up
    def prepare_data(self) -> None:
        data = self.work / "data"
        data.mkdir()
        for name, size in (("big", self.opts.big), ("small", self.opts.small),
                           ("instr", self.opts.instr_size)):
            path = data / f"{name}.bin"
            self.data[name] = (path, make_random_file(path, size))
        log(f"test data in {self.work}: big {size_text(self.opts.big)}, "
            f"small {size_text(self.opts.small)}, instructions {size_text(self.opts.instr_size)}")

    def publish(self, server: Server) -> None:
        server.layout()
        for name, (path, _) in self.data.items():
            dest = server.read_dir / f"{name}.bin"
            if not dest.exists():
                try:
                    os.link(path, dest)
                except OSError:
                    shutil.copyfile(path, dest)
            os.chmod(dest, 0o644)

    def file_for(self, size: int) -> tuple[str, str]:
        for name, (path, digest) in self.data.items():
            if path.stat().st_size == size and name != "instr":
                return f"{name}.bin", digest
        raise BenchError(f"no test file of {size} bytes")

    # ---------------------------------------------------------------- job list
    def build_jobs(self) -> None:
        o = self.opts
        if o.windows:
            self.build_window_jobs()
            return
        if o.window_open:
            self.build_window_open_jobs()
            return
        server_cases = [Case("fetch", o.big, 1, bs) for bs in o.fetch_blksizes]
        server_cases += [Case("upload", o.big, 1, bs) for bs in o.upload_blksizes]
        server_cases += [Case("conc", o.small, n, o.conc_blksize) for n in o.concurrency]
        client_cases = []
        for bs in o.client_blksizes:
            client_cases += [Case("fetch", o.big, 1, bs), Case("upload", o.big, 1, bs)]
        self.server_cases, self.client_cases = server_cases, client_cases
        seen = set()
        for case in server_cases:
            for placement in PLACEMENTS:
                for server in o.servers:
                    self.add_job(Job(case, placement, server, "curl"), seen)
        if CLIENT_TABLE_SERVER in o.servers or o.clients:
            for case in client_cases:
                for placement in PLACEMENTS:
                    for client in o.clients:
                        # curl against tftpd-hpa is also a server-table row: measured once.
                        self.add_job(Job(case, placement, CLIENT_TABLE_SERVER, client), seen)

    def build_window_jobs(self) -> None:
        """Only the windowed rows: ravendockd against atftpd with atftp as client, merrowinc
        against atftp with atftpd as server, each at every window size; and the lock-step rows
        of every server (curl) at the same block sizes, for the best lock-step figure."""
        o = self.opts
        ops = ("fetch", "upload")
        self.server_cases = [Case(op, o.big, 1, bs) for op in ops for bs in o.window_blksizes]
        self.window_cases = [Case(op, o.big, 1, bs, w) for op in ops
                             for bs in o.window_blksizes for w in o.window_sizes]
        self.client_cases = []
        seen = set()
        # The windowed rows first: a run cut short by --max-minutes still has them.
        for case in self.window_cases:
            for placement in PLACEMENTS:
                for server in WINDOW_SERVERS:
                    self.add_job(Job(case, placement, server, WINDOW_CLIENT_FOR_SERVERS), seen)
                for client in WINDOW_CLIENTS:
                    self.add_job(Job(case, placement, WINDOW_SERVER_FOR_CLIENTS, client), seen)
        for case in self.server_cases:
            for placement in PLACEMENTS:
                for server in o.servers:
                    self.add_job(Job(case, placement, server, "curl"), seen)

    def build_window_open_jobs(self) -> None:
        """Only the rows that compare ravendockd with its window open against the headless
        ravendockd: one fetch per block size, client curl."""
        o = self.opts
        self.server_cases = [Case("fetch", o.big, 1, bs) for bs in o.window_open_blksizes]
        self.client_cases = []
        seen = set()
        for case in self.server_cases:
            for placement in PLACEMENTS:
                for server in o.servers:
                    self.add_job(Job(case, placement, server, "curl"), seen)

    def add_job(self, job: Job, seen: set) -> None:
        if job.key() in seen:
            return
        seen.add(job.key())
        out = Outcome()
        cls = SERVER_CLASSES[job.server]
        if job.case.op == "upload" and not cls.uploads:
            out.skipped = f"{job.server} does not accept uploads (read-only TFTP server)"
        if job.client == OURS_CLIENT and self.opts.client_skip:
            out.skipped = f"{OURS_CLIENT} skipped: {self.opts.client_skip}"
        allowed = client_blksizes(job.client)
        if allowed is not None and job.case.bs not in allowed:
            out.skipped = f"{job.client} cannot ask for a block size (512 only)"
        self.outcomes[job.key()] = out
        if out.skipped is None:
            self.jobs.append(job)

    def needed_servers(self) -> list[str]:
        names = {j.server for j in self.jobs} | set(self.opts.servers)
        return [s for s in SERVER_CLASSES if s in names]

    # ---------------------------------------------------------------- one measurement
    def measure(self, job: Job, run: int) -> dict:
        o = self.opts
        server = self.servers[job.server]
        if not server.alive():
            raise BenchError(f"{job.server} is not running any more: {server.log_tail()}")
        case = job.case
        core = o.server_cpu if job.placement == "same" else o.client_cpu
        remote, digest = self.file_for(case.size)
        cmds = []
        checks: list[Path] = []
        self.counter += 1
        tag = f"{job.client}-{case.bs}-{self.counter}"
        if case.op in ("fetch", "conc"):
            for i in range(case.count):
                local = self.client_dir / f"got-{tag}-{i}.bin"
                if local.exists():
                    local.unlink()
                cmd, env = client_command(o, job.client, "get", server.port, remote, local,
                                          case.bs, o.transfer_timeout, case.window)
                cmds.append((cmd, env, self.client_dir / f"log-{tag}-{i}.txt"))
                checks.append(local)
        else:
            up_name = f"up-{tag}.bin"
            stored = server.stored_path(up_name)
            if stored.exists():
                stored.unlink()
            cmd, env = client_command(o, job.client, "put", server.port, up_name,
                                      self.data["big" if case.size == o.big else "small"][0],
                                      case.bs, o.transfer_timeout, case.window)
            cmds.append((cmd, env, self.client_dir / f"log-{tag}.txt"))
            checks.append(stored)

        cpu0 = server.cpu()
        seconds, results = run_processes(cmds, core, o.transfer_timeout + 30)
        cpu1 = self.quiet_cpu(server)

        why = None
        negotiated = set()
        for i, r in enumerate(results):
            if r.timed_out:
                why = f"transfer {i + 1}/{len(results)} killed after {o.transfer_timeout + 30} s"
            else:
                why = client_failed(job.client, r.rc, r.output)
                if why:
                    why = f"transfer {i + 1}/{len(results)}: {why}: " \
                          f"{' | '.join(r.output.strip().splitlines()[-3:])}"
            if why:
                break
            nb = negotiated_blksize(job.client, r.output)
            if nb is not None:
                negotiated.add(nb)
        if why is None:
            for i, path in enumerate(checks):
                why = self.check_file(path, case.size, digest, upload=(case.op == "upload"))
                if why:
                    why = f"transfer {i + 1}/{len(checks)}: {why}"
                    break
        for path in checks:
            try:
                path.unlink()
            except OSError:
                pass
        for _, _, logpath in cmds:
            try:
                logpath.unlink()
            except OSError:
                pass
        return {
            "run": run,
            "seconds": seconds,
            "server_cpu_user": cpu1[0] - cpu0[0],
            "server_cpu_sys": cpu1[1] - cpu0[1],
            "client_cpu": sum(r.cpu for r in results),
            "negotiated_blksize": sorted(negotiated),
            "ok": why is None,
            "why": why,
        }

    def quiet_cpu(self, server: Server) -> tuple[float, float]:
        """The server's CPU once it has stopped using any (its last ACK handled, its forked
        children done); at most about a second of waiting."""
        prev = server.cpu()
        for _ in range(40):
            time.sleep(0.025)
            cur = server.cpu()
            if (cur[0] + cur[1]) - (prev[0] + prev[1]) < 0.0005:
                return cur
            prev = cur
        return prev

    @staticmethod
    def check_file(path: Path, size: int, digest: str, upload: bool) -> str | None:
        # An upload's last block may still be on its way to the disk when the client exits.
        for attempt in range(60 if upload else 1):
            if path.exists() and path.stat().st_size == size:
                got = sha256_file(path)
                if got == digest:
                    return None
                if not upload or attempt > 5:
                    return f"sha256 differs ({path.name}, {size} bytes)"
            if upload:
                time.sleep(0.05)
        if not path.exists():
            return f"no file {path.name}"
        return f"size {path.stat().st_size}, expected {size} ({path.name})"

    # ---------------------------------------------------------------- phases
    def start_servers(self) -> None:
        for name in self.needed_servers():
            server = SERVER_CLASSES[name](self.work, self.acct, self.opts)
            self.publish(server)
            try:
                server.start(self.opts.server_cpu)
            except BenchError as e:
                # The others are still measured; this server's cells show the failure.
                self.failures.append(f"{name} did not start: {e}")
                log(f"FAIL {name} did not start: {e}")
                for job in self.jobs:
                    if job.server == name:
                        self.outcomes[job.key()].failed = f"server did not start: {e}"
                continue
            self.servers[name] = server
            log(f"{name} ready on {HOST}:{server.port} (pinned to CPU {self.opts.server_cpu}): "
                f"{server.command_line}")

    def stop_servers(self) -> None:
        for server in self.servers.values():
            server.stop()

    def probe_refusals(self) -> None:
        """Confirms that a server marked read-only really refuses an upload (a note, not a
        failure)."""
        for name, server in self.servers.items():
            if server.uploads:
                continue
            local = self.data["small"][0]
            cmd, env = client_command(self.opts, "curl", "put", server.port, "up-refused.bin",
                                      local, 512, 20)
            _, res = run_processes([(cmd, env, self.client_dir / "refusal.txt")],
                                   self.opts.client_cpu, 40)
            msg = " | ".join(l for l in res[0].output.splitlines() if l.startswith("curl:"))
            if res[0].rc == 0:
                self.notes.append(f"{name}: an upload was expected to be refused but succeeded")
            else:
                self.notes.append(f"{name} refuses uploads (read-only TFTP server): curl says "
                                  f"`{msg or 'exit status ' + str(res[0].rc)}`; upload rows n/a")

    def run_matrix(self) -> None:
        o = self.opts
        total = len(self.jobs) * o.runs
        done = 0
        for run in range(1, o.runs + 1):
            # Rotate the order of the participants from run to run, so that no one is always
            # measured first after a change of case.
            groups: dict[tuple, list[Job]] = {}
            for job in self.jobs:
                groups.setdefault((job.case, job.placement), []).append(job)
            for (case, placement), members in groups.items():
                shift = (run - 1) % len(members)
                for job in members[shift:] + members[:shift]:
                    done += 1
                    out = self.outcomes[job.key()]
                    if out.failed:
                        continue
                    if time.monotonic() > self.deadline:
                        out.failed = f"not run: the run passed its limit of {o.max_minutes} minutes"
                        msg = f"cases left unmeasured after {o.max_minutes} minutes (--max-minutes)"
                        if msg not in self.failures:
                            self.failures.append(msg)
                            log(f"FAIL {msg}")
                        continue
                    self.set_driver_cpu(job.placement)
                    try:
                        r = self.measure(job, run)
                    except BenchError as e:
                        r = {"run": run, "ok": False, "why": str(e)}
                    out.runs.append(r)
                    server_cpu = r.get("server_cpu_user", 0) + r.get("server_cpu_sys", 0)
                    if r["ok"]:
                        mib = case.size * case.count / MIB
                        log(f"[{done}/{total}] run {run} {case.label()} {placement:5s} "
                            f"{job.server}/{job.client}: {r['seconds']:.3f} s, "
                            f"{mib / r['seconds']:.1f} MiB/s, server CPU {server_cpu:.3f} s")
                    else:
                        out.failed = r["why"]
                        msg = (f"{case.label()}, {PLACEMENT_TEXT[placement]}, server {job.server}, "
                               f"client {job.client}, run {run}: {r['why']}")
                        self.failures.append(msg)
                        log(f"[{done}/{total}] FAIL {msg}")

    def set_driver_cpu(self, placement: str) -> None:
        # The driver itself stays off the server's CPU when the two are meant to be apart.
        core = self.opts.server_cpu if placement == "same" else self.opts.client_cpu
        try:
            os.sched_setaffinity(0, {core})
        except OSError:
            pass

    def run_memory(self) -> None:
        o = self.opts
        case = Case("conc", o.small, o.memory_concurrency, o.conc_blksize)
        remote, digest = self.file_for(o.small)
        self.set_driver_cpu("split")
        for name in [n for n in self.servers if n != REFERENCE_SERVER]:
            server = self.servers[name]
            server.stop()
            try:
                server.start(o.server_cpu)
            except BenchError as e:
                self.memory[name] = {"ok": False, "why": str(e)}
                self.failures.append(f"memory run, server {name}: {e}")
                continue
            stop_flag = threading.Event()
            peak = {"rss": 0, "pss": 0, "procs": 0}

            def sample():
                while not stop_flag.is_set():
                    pids = server.procs()
                    rss = sum(read_status_kib(p, "VmRSS") for p in pids)
                    pss = sum(read_pss_kib(p) for p in pids)
                    peak["rss"] = max(peak["rss"], rss)
                    peak["pss"] = max(peak["pss"], pss)
                    peak["procs"] = max(peak["procs"], len(pids))
                    stop_flag.wait(0.02)

            th = threading.Thread(target=sample, daemon=True)
            th.start()
            cmds, locals_ = [], []
            for i in range(case.count):
                local = self.client_dir / f"mem-{name}-{i}.bin"
                cmd, env = client_command(o, "curl", "get", server.port, remote, local, case.bs,
                                          o.transfer_timeout)
                cmds.append((cmd, env, self.client_dir / f"mem-{name}-{i}.txt"))
                locals_.append(local)
            try:
                seconds, results = run_processes(cmds, o.client_cpu, o.transfer_timeout + 30)
            finally:
                stop_flag.set()
                th.join()
            hwm = read_status_kib(server.server_pid(), "VmHWM")
            why = None
            for i, (r, local) in enumerate(zip(results, locals_)):
                why = ("timed out" if r.timed_out else client_failed("curl", r.rc, r.output)) \
                    or self.check_file(local, o.small, digest, upload=False)
                if why:
                    why = f"transfer {i + 1}/{case.count}: {why}"
                    break
            for local, (_, _, lp) in zip(locals_, cmds):
                for p in (local, lp):
                    try:
                        p.unlink()
                    except OSError:
                        pass
            rec = {"peak_rss_kib": max(hwm, peak["rss"]), "main_vmhwm_kib": hwm,
                   "peak_rss_sum_kib": peak["rss"], "peak_pss_sum_kib": peak["pss"],
                   "peak_processes": peak["procs"], "seconds": seconds, "ok": why is None,
                   "why": why}
            self.memory[name] = rec
            if why:
                msg = f"memory run ({case.label()}), server {name}: {why}"
                self.failures.append(msg)
                log(f"FAIL {msg}")
            else:
                log(f"memory {name}: peak RSS {rec['peak_rss_kib'] / 1024:.1f} MiB "
                    f"(VmHWM {hwm / 1024:.1f}, sum over up to {peak['procs']} processes "
                    f"{peak['rss'] / 1024:.1f}, Pss sum {peak['pss'] / 1024:.1f})")
            server.stop()

    def detect_instr_method(self) -> str:
        if self.opts.instructions == "none":
            return ""
        if self.opts.instructions in ("auto", "perf") and shutil.which("perf"):
            out = run_text(["perf", "stat", "-x,", "-e", self.opts.perf_event, "true"], 20)
            for line in out.splitlines():
                fields = line.split(",")
                if len(fields) > 2 and self.opts.perf_event in fields[2] and \
                        fields[0].replace(".", "").isdigit():
                    return "perf"
            if self.opts.instructions == "perf":
                raise BenchError(f"perf stat -e {self.opts.perf_event} does not work here: {out}")
        if self.opts.instructions in ("auto", "callgrind") and shutil.which("valgrind"):
            return "callgrind"
        raise BenchError("no way to count instructions (neither perf counters nor valgrind)")

    def run_instructions(self) -> None:
        o = self.opts
        method = self.detect_instr_method()
        self.instr_method = method
        if not method:
            return
        self.set_driver_cpu("split")
        remote, digest = "instr.bin", self.data["instr"][1]
        mib = o.instr_size / MIB
        for name in [n for n in self.servers if n != REFERENCE_SERVER]:
            server = self.servers[name]
            server.stop()
            res: dict = {"method": method}
            try:
                base = self.instrumented_run(server, method, None, remote, digest)
                res["baseline"] = base
                for bs in o.instr_blksizes:
                    total = self.instrumented_run(server, method, bs, remote, digest)
                    res[f"total_{bs}"] = total
                    res[str(bs)] = max(0.0, (total - base) / mib)
                log(f"instructions {name}: " + ", ".join(
                    f"blksize {bs}: {res[str(bs)] / 1e6:.2f} M/MiB" for bs in o.instr_blksizes))
            except BenchError as e:
                res["why"] = str(e)
                msg = f"instruction count ({method}), server {name}: {e}"
                self.failures.append(msg)
                log(f"FAIL {msg}")
            self.instructions[name] = res

    def instrumented_run(self, server: Server, method: str, bs: int | None, remote: str,
                         digest: str) -> float:
        o = self.opts
        self.counter += 1
        idir = self.work / "instr" / f"{server.name}-{self.counter}"
        idir.mkdir(parents=True)
        # tftpd-hpa chroots its forked children: their callgrind files land under the root.
        mirror = Path(str(server.read_dir) + str(idir))
        if method == "callgrind":
            mirror.mkdir(parents=True, exist_ok=True)
        server.start(o.server_cpu, instrument=method, instr_dir=idir, perf_event=o.perf_event)
        why = None
        try:
            if bs is not None:
                local = self.client_dir / f"instr-{self.counter}.bin"
                cmd, env = client_command(o, "curl", "get", server.port, remote, local, bs,
                                          o.transfer_timeout)
                _, res = run_processes([(cmd, env, self.client_dir / "instr-log.txt")],
                                       o.client_cpu, o.transfer_timeout + 30)
                r = res[0]
                why = ("timed out" if r.timed_out else client_failed("curl", r.rc, r.output)) \
                    or self.check_file(local, o.instr_size, digest, upload=False)
                try:
                    local.unlink()
                except OSError:
                    pass
        finally:
            server.stop()
        if why:
            raise BenchError(f"fetch at blksize {bs}: {why}")
        total = 0.0
        if method == "callgrind":
            files = list(idir.glob("cg.*")) + list(mirror.glob("cg.*"))
            if not files:
                raise BenchError(f"no callgrind output in {idir}")
            for f in files:
                for line in f.read_text(errors="replace").splitlines():
                    if line.startswith("totals:") or line.startswith("summary:"):
                        total += float(line.split()[1])
                        break
        else:
            text = (idir / "perf.csv").read_text(errors="replace")
            found = False
            for line in text.splitlines():
                fields = line.split(",")
                if len(fields) > 2 and o.perf_event in fields[2]:
                    try:
                        total += float(fields[0])
                        found = True
                    except ValueError:
                        pass
            if not found:
                raise BenchError(f"perf gave no count: {text.strip()}")
        shutil.rmtree(idir, ignore_errors=True)
        if method == "callgrind":
            shutil.rmtree(server.read_dir / idir.relative_to(idir.anchor).as_posix().split('/')[0], ignore_errors=True)
        return total

    def close(self) -> None:
        self.stop_servers()
        self.acct.close()
        if self.opts.keep:
            log(f"kept {self.work}")
        else:
            shutil.rmtree(self.work, ignore_errors=True)


# --------------------------------------------------------------------------------------------
# report


def fmt(x: float | None, digits: int = 3) -> str:
    """x with `digits` significant digits (no exponent notation)."""
    if x is None:
        return "—"
    if x == 0:
        return "0"
    mag = abs(x)
    if mag >= 10 ** (digits - 1):
        return f"{x:,.0f}"
    decimals = digits - 1 - math.floor(math.log10(mag))
    return f"{x:.{decimals}f}"


def machine_description() -> dict:
    d = {"host": socket.gethostname(), "uname": " ".join(platform.uname())}
    lscpu = run_text(["lscpu"])
    keep = ("Architecture", "Model name", "CPU(s)", "On-line CPU(s) list", "Thread(s) per core",
            "Core(s) per socket", "Socket(s)", "CPU max MHz", "BogoMIPS", "Hypervisor vendor",
            "Virtualization type", "L1d cache", "L2 cache", "L3 cache", "NUMA node(s)")
    d["lscpu"] = {}
    for line in lscpu.splitlines():
        k, _, v = line.partition(":")
        if k.strip() in keep:
            d["lscpu"][k.strip()] = v.strip()
    try:
        flags = next(l for l in open("/proc/cpuinfo") if l.startswith("flags")).split()
        d["virtual_machine"] = "hypervisor" in flags
    except (OSError, StopIteration):
        pass
    try:
        mem = next(l for l in open("/proc/meminfo") if l.startswith("MemTotal"))
        d["memory"] = f"{int(mem.split()[1]) // 1024} MiB"
    except (OSError, StopIteration):
        pass
    try:
        d["os"] = next(l.split("=", 1)[1].strip().strip('"') for l in open("/etc/os-release")
                       if l.startswith("PRETTY_NAME="))
    except (OSError, StopIteration):
        pass
    return d


def loadavg() -> str:
    try:
        return " ".join(open("/proc/loadavg").read().split()[:3])
    except OSError:
        return "?"


def summarize(b: Bench) -> dict:
    o = b.opts
    rows = []
    sections = [("servers", b.server_cases, o.servers, "curl"),
                ("clients", b.client_cases, o.clients, CLIENT_TABLE_SERVER)]
    if o.windows:
        sections += [("window-servers", b.window_cases, WINDOW_SERVERS, WINDOW_CLIENT_FOR_SERVERS),
                     ("window-clients", b.window_cases, WINDOW_CLIENTS, WINDOW_SERVER_FOR_CLIENTS)]
    for section, cases, members, fixed in sections:
        for case in cases:
            for placement in PLACEMENTS:
                row = {"section": section, "case": case.label(), "op": case.op,
                       "size": case.size, "count": case.count, "blksize": case.bs,
                       "window": case.window, "placement": placement, "cells": {}}
                for m in members:
                    job = Job(case, placement, fixed, m) if section.endswith("clients") else \
                        Job(case, placement, m, fixed)
                    out = b.outcomes.get(job.key())
                    cell: dict = {}
                    if out is None:
                        cell["skipped"] = "not measured"
                    elif out.skipped:
                        cell["skipped"] = out.skipped
                    elif out.failed:
                        cell["failed"] = out.failed
                    ok = [r for r in (out.runs if out else []) if r.get("ok")]
                    if out and not out.skipped and not out.failed and ok:
                        secs = statistics.median(r["seconds"] for r in ok)
                        gib = case.size * case.count / GIB
                        cpu = statistics.median(
                            (r["server_cpu_user"] + r["server_cpu_sys"]) / gib for r in ok)
                        ccpu = statistics.median(r["client_cpu"] / gib for r in ok)
                        cell.update({
                            "seconds": secs, "mib_s": case.size * case.count / MIB / secs,
                            "server_cpu_s_per_gib": cpu, "client_cpu_s_per_gib": ccpu,
                            "runs": out.runs,
                        })
                        nb = sorted({n for r in ok for n in r["negotiated_blksize"]})
                        if nb and nb != [case.bs]:
                            cell["negotiated_blksize"] = nb
                        if section.endswith("clients") and m == OURS_CLIENT and \
                                effective_blksize(m, case.bs) != case.bs:
                            cell["blksize_used"] = effective_blksize(m, case.bs)
                    elif out is not None:
                        cell["runs"] = out.runs
                    row["cells"][m] = cell
                rows.append(row)
    return {"rows": rows}


def best_and_ratio(values: dict[str, float | None], ours: str, higher_better: bool):
    peers = {k: v for k, v in values.items()
             if k not in (ours, REFERENCE_SERVER) and v is not None}
    if not peers:
        return None, None, None
    best = max(peers, key=peers.get) if higher_better else min(peers, key=peers.get)
    mine = values.get(ours)
    ratio = None
    if mine is not None and peers[best]:
        ratio = mine / peers[best]
    return best, peers[best], ratio


def cell_text(cell: dict, key: str, digits: int = 3) -> str:
    if "skipped" in cell:
        return "skipped" if cell["skipped"].startswith(OURS_CLIENT + " skipped") else "n/a"
    if "failed" in cell:
        return "**FAIL**"
    v = cell.get(key)
    text = fmt(v, digits)
    if "negotiated_blksize" in cell:
        text += f" (blksize {'/'.join(map(str, cell['negotiated_blksize']))})"
    if "blksize_used" in cell:
        text += f" (blksize {cell['blksize_used']})"
    return text


def markdown(b: Bench, summary: dict, meta: dict) -> str:
    o = b.opts
    L = []
    L.append(f"# TFTP benchmark, {meta['date']}, {meta['machine']['host']}")
    L.append("")
    L.append(("**Result: FAILED** — " + f"{len(b.failures)} failure(s), see the end.")
             if b.failures else "**Result: every transfer completed and matched its sha256.**")
    L.append("")
    m = meta["machine"]
    L.append("## Machine")
    L.append("")
    cpu = m["lscpu"]
    hv = f", hypervisor {cpu['Hypervisor vendor']}" if "Hypervisor vendor" in cpu else \
        (", virtual machine" if m.get("virtual_machine") else "")
    L.append(f"- {cpu.get('Model name', '?')}, {cpu.get('CPU(s)', '?')} CPUs "
             f"({cpu.get('Thread(s) per core', '?')} thread(s) per core, "
             f"{cpu.get('Core(s) per socket', '?')} core(s) per socket{hv}), "
             f"memory {m.get('memory', '?')}")
    L.append(f"- {m.get('os', '?')}; `{m['uname']}`")
    L.append(f"- load average at the start {meta['load_start']} (other work on the machine slows "
             f"every column alike but adds noise); at the end {meta['load_end']} (this includes "
             f"the run's own {o.memory_concurrency} concurrent clients)")
    L.append(f"- work folder on {meta['workdir_fs']}")
    L.append("")
    L.append("## Settings")
    L.append("")
    L.append(f"- {o.runs} run(s) per case, median reported{' (quick mode)' if o.quick else ''}; "
             f"total time {meta['elapsed_min']:.1f} min")
    L.append(f"- single transfers {size_text(o.big)}; concurrent fetches "
             f"{'/'.join(map(str, o.concurrency))} × {size_text(o.small)} at blksize "
             f"{o.conc_blksize}; instruction counts on a {size_text(o.instr_size)} fetch")
    L.append(f"- placement, pinned with taskset: *same CPU* = server and client on CPU "
             f"{o.server_cpu}; *different CPUs* = server on CPU {o.server_cpu}, client on CPU "
             f"{o.client_cpu}. No unpinned figures.")
    L.append(f"- server CPU: {b.acct.describe()}")
    L.append("- versions: " + "; ".join(f"{k}: {v}" for k, v in meta["versions"].items()))
    L.append("")
    L.append("## Servers (client: curl)")
    L.append("")
    srv_rows = [r for r in summary["rows"] if r["section"] == "servers"]
    cli_rows = [r for r in summary["rows"] if r["section"] == "clients"]
    table(L, srv_rows, o.servers, OURS_SERVER, "mib_s", True,
          f"Throughput, MiB/s (higher is better). Ratio = {OURS_SERVER} / best peer = "
          f"best peer's time / {OURS_SERVER}'s time: above 1 means {OURS_SERVER} is faster.")
    if REFERENCE_SERVER in o.servers:
        L.append(f"The {REFERENCE_SERVER} column is not a peer and never the best peer: "
                 f"bench/floor_server.cpp does only what every lock-step server must do per block "
                 f"(one wait, one receive, one send straight from a 256 KiB read of the file; no "
                 f"timers, no retransmission, no checks, no list of transfers). It is not usable as a server; "
                 f"it marks how fast and how frugal any TFTP server can be on this machine. "
                 f"{REFERENCE_SERVER} / best peer is about the best ratio any server could reach in the "
                 f"row (it is measured like the others, so it carries the same noise).")
        L.append("")
    table(L, srv_rows, o.servers, OURS_SERVER, "server_cpu_s_per_gib", False,
          f"Server CPU seconds (user+system) per GiB served (lower is better). Ratio = "
          f"{OURS_SERVER} / best peer: below 1 means {OURS_SERVER} uses less CPU.")
    # memory
    if b.memory:
        L.append(f"Peak memory with {o.memory_concurrency} concurrent {size_text(o.small)} fetches "
                 f"at blksize {o.conc_blksize}, different CPUs, one fresh server (lower is "
                 f"better; ratio = {OURS_SERVER} / best peer, below 1 means {OURS_SERVER} uses less).")
        L.append("")
        names = [n for n in o.servers if n in b.memory]
        L.append("| figure | " + " | ".join(names) + " | best peer | ratio |")
        L.append("|---|" + "---:|" * len(names) + "---|---:|")
        for key, label in (("peak_rss_kib", "peak RSS, MiB"),
                           ("peak_pss_sum_kib", "peak Pss summed over processes, MiB"),
                           ("peak_processes", "processes at the peak")):
            vals = {}
            for n in names:
                rec = b.memory[n]
                vals[n] = None if not rec["ok"] else (
                    rec[key] / 1024 if key.endswith("kib") else rec[key])
            best, bv, ratio = best_and_ratio(vals, OURS_SERVER, False)
            cells = ["**FAIL**" if not b.memory[n]["ok"] else
                     (str(vals[n]) if key == "peak_processes" else fmt(vals[n])) for n in names]
            if key == "peak_processes":
                L.append(f"| {label} | " + " | ".join(cells) + " | | |")
            else:
                L.append(f"| {label} | " + " | ".join(cells) +
                         f" | {best or '—'} | {fmt(ratio)} |")
        L.append("")
        L.append("Peak RSS is the larger of the main process's VmHWM and the largest sum of VmRSS "
                 "over all the server's processes (sampled every 20 ms); for a forking server the "
                 "sum counts shared pages once per process, the Pss sum shares them out.")
        L.append("")
    if b.instructions:
        what = ("user-space instructions (callgrind)" if b.instr_method == "callgrind"
                else f"instructions, user and kernel (perf stat -e {o.perf_event})")
        L.append(f"Instructions per MiB served, {what}, one {size_text(o.instr_size)} fetch with "
                 f"curl minus a run without transfer (lower is better; ratio = {OURS_SERVER} / "
                 f"best peer).")
        L.append("")
        names = [n for n in o.servers if n in b.instructions]
        L.append("| fetch | " + " | ".join(names) + " | best peer | ratio |")
        L.append("|---|" + "---:|" * len(names) + "---|---:|")
        for bs in o.instr_blksizes:
            vals = {n: b.instructions[n].get(str(bs)) for n in names}
            best, bv, ratio = best_and_ratio(vals, OURS_SERVER, False)
            cells = ["**FAIL**" if "why" in b.instructions[n] else
                     (fmt(vals[n] / 1e6) + " M" if vals[n] is not None else "—") for n in names]
            L.append(f"| blksize {bs} | " + " | ".join(cells) + f" | {best or '—'} | {fmt(ratio)} |")
        L.append("")
    L.append(f"## Clients (server: {CLIENT_TABLE_SERVER})")
    L.append("")
    if o.client_skip:
        L.append(f"**{OURS_CLIENT} skipped: {o.client_skip}** — its column is empty and no ratio "
                 f"can be given.")
        L.append("")
    table(L, cli_rows, o.clients, OURS_CLIENT, "mib_s", True,
          f"Throughput, MiB/s (higher is better). Ratio = {OURS_CLIENT} / best peer = best "
          f"peer's time / {OURS_CLIENT}'s time: above 1 means {OURS_CLIENT} is faster. The curl "
          f"column is the same measurement as the {CLIENT_TABLE_SERVER} column above.")
    table(L, cli_rows, o.clients, OURS_CLIENT, "client_cpu_s_per_gib", False,
          f"Client CPU seconds (user+system) per GiB moved (lower is better). Ratio = "
          f"{OURS_CLIENT} / best peer.")
    return report_tail(b, L)


def report_tail(b: Bench, L: list[str]) -> str:
    """The notes and failures after the tables; the whole report as one text."""
    L += ["## Notes", ""] + [f"- {n}" for n in b.notes] + [""]
    if b.failures:
        L += ["## Failures", ""] + [f"- {f}" for f in b.failures] + [""]
    return "\n".join(L)


def report_head(b: Bench, meta: dict, title: str, placement_note: str = "",
                cpu_note: str = "") -> list[str]:
    """The title, the overall result and the machine and settings of a partial run."""
    o = b.opts
    L = [f"# TFTP benchmark, {title}, {meta['date']}, {meta['machine']['host']}", ""]
    L.append(("**Result: FAILED** — " + f"{len(b.failures)} failure(s), see the end.")
             if b.failures else "**Result: every transfer completed and matched its sha256.**")
    L.append("")
    m = meta["machine"]
    cpu = m["lscpu"]
    L.append("## Machine and settings")
    L.append("")
    L.append(f"- {cpu.get('Model name', '?')}, {cpu.get('CPU(s)', '?')} CPUs, memory "
             f"{m.get('memory', '?')}; {m.get('os', '?')}; `{m['uname']}`")
    L.append(f"- **load average at the start {meta['load_start']}, at the end {meta['load_end']}**: "
             f"other work on this shared machine slows every column alike but adds noise, so "
             f"compare columns of one row rather than figures across runs")
    L.append(f"- {o.runs} run(s) per case, median reported; total time "
             f"{meta['elapsed_min']:.1f} min; files of {size_text(o.big)} on {meta['workdir_fs']}")
    L.append(f"- placement, pinned with taskset: *same CPU* = server and client on CPU "
             f"{o.server_cpu}; *different CPUs* = server on CPU {o.server_cpu}, client on CPU "
             f"{o.client_cpu}{placement_note}")
    L.append(f"- server CPU: {b.acct.describe()}{cpu_note}")
    L.append("- versions: " + "; ".join(f"{k}: {v}" for k, v in meta["versions"].items()))
    L.append("")
    return L


def markdown_windows(b: Bench, summary: dict, meta: dict) -> str:
    """The windowed rows only (bench.py --windows)."""
    o = b.opts
    L = report_head(b, meta, "windowed transfers (windowsize)")
    rows = summary["rows"]
    wsrv = [r for r in rows if r["section"] == "window-servers"]
    wcli = [r for r in rows if r["section"] == "window-clients"]
    lock = [r for r in rows if r["section"] == "servers"]
    L.append(f"## Windowed servers (client: {WINDOW_CLIENT_FOR_SERVERS} with `--option "
             f"\"windowsize N\"`)")
    L.append("")
    table(L, wsrv, WINDOW_SERVERS, OURS_SERVER, "mib_s", True,
          f"Throughput, MiB/s (higher is better). Ratio = {OURS_SERVER} / atftpd: above 1 means "
          f"{OURS_SERVER} is faster.")
    table(L, wsrv, WINDOW_SERVERS, OURS_SERVER, "server_cpu_s_per_gib", False,
          f"Server CPU seconds per GiB (lower is better). Ratio = {OURS_SERVER} / atftpd.")
    L.append(f"## Windowed clients (server: {WINDOW_SERVER_FOR_CLIENTS})")
    L.append("")
    table(L, wcli, WINDOW_CLIENTS, OURS_CLIENT, "mib_s", True,
          f"Throughput, MiB/s (higher is better). Ratio = {OURS_CLIENT} --windowsize=N / atftp "
          f"--option \"windowsize N\". The atftp column is the same measurement as the atftpd "
          f"column above.")
    table(L, wcli, WINDOW_CLIENTS, OURS_CLIENT, "client_cpu_s_per_gib", False,
          f"Client CPU seconds per GiB (lower is better). Ratio = {OURS_CLIENT} / atftp.")
    L.append(f"## {OURS_SERVER} windowed against the best lock-step peer")
    L.append("")
    table(L, lock, o.servers, OURS_SERVER, "mib_s", True,
          "Lock-step (no windowsize), client curl, same block sizes: throughput, MiB/s.")
    peers = [s for s in o.servers if s not in (OURS_SERVER, REFERENCE_SERVER)]
    L.append(f"{OURS_SERVER} windowed (client atftp) divided by the best lock-step peer's figure "
             f"(any of {', '.join(peers)}, client curl) for the same transfer, block size and "
             f"placement (above 1 means faster).")
    L.append("")
    L.append("| case | placement | best lock-step peer, MiB/s | " +
             " | ".join(f"windowsize {w}, MiB/s | ratio" for w in o.window_sizes) + " |")
    L.append("|---|---|---:|" + "---:|---:|" * len(o.window_sizes))
    for r in lock:
        vals = {p: r["cells"][p].get("mib_s") for p in peers if p in r["cells"]}
        best, bv, _ = best_and_ratio(vals, OURS_SERVER, True)
        cells = []
        for w in o.window_sizes:
            mine = next((x["cells"][OURS_SERVER].get("mib_s") for x in wsrv
                         if x["op"] == r["op"] and x["blksize"] == r["blksize"]
                         and x["window"] == w and x["placement"] == r["placement"]), None)
            cells += [fmt(mine), fmt(mine / bv) if mine and bv else "—"]
        L.append(f"| {r['case']} | {PLACEMENT_TEXT[r['placement']]} | "
                 f"{fmt(bv)} ({best or '—'}) | " + " | ".join(cells) + " |")
    L.append("")
    return report_tail(b, L)


def markdown_window_open(b: Bench, summary: dict, meta: dict) -> str:
    """ravendockd with its window open against the headless ravendockd (--window-open)."""
    L = report_head(b, meta, "server window open against headless",
                    f"; the X server (Xvfb {b.opts.display}) is not pinned and not counted",
                    " (the window's threads included)")
    rows = [r for r in summary["rows"] if r["section"] == "servers"]
    for key, title, unit in (("server_cpu_s_per_gib", "Server CPU per GiB", "s/GiB"),
                             ("mib_s", "Throughput", "MiB/s")):
        L.append(f"## {title} (client curl)")
        L.append("")
        L.append(f"| case | placement | headless, {unit} | window open, {unit} | "
                 f"window / headless |")
        L.append("|---|---|---:|---:|---:|")
        for r in rows:
            head, win = r["cells"].get(OURS_SERVER, {}), r["cells"].get(WINDOWED_SERVER, {})
            a, w = head.get(key), win.get(key)
            L.append(f"| {r['case']} | {PLACEMENT_TEXT[r['placement']]} | "
                     f"{cell_text(head, key)} | {cell_text(win, key)} | "
                     f"{fmt(w / a) if a and w else '—'} |")
        L.append("")
    return report_tail(b, L)


def table(L: list[str], rows: list[dict], members: list[str], ours: str, key: str,
          higher_better: bool, title: str) -> None:
    reference = REFERENCE_SERVER in members
    L.append(title)
    L.append("")
    extra = f" | {REFERENCE_SERVER} / best peer" if reference else ""
    L.append("| case | placement | " + " | ".join(members) + " | best peer | ratio" + extra + " |")
    L.append("|---|---|" + "---:|" * len(members) + "---|---:|" + ("---:|" if reference else ""))
    for r in rows:
        vals = {m: r["cells"][m].get(key) for m in members
                if "skipped" not in r["cells"][m] and "failed" not in r["cells"][m]}
        best, bv, ratio = best_and_ratio(vals, ours, higher_better)
        cells = [cell_text(r["cells"][m], key) for m in members]
        line = f"| {r['case']} | {PLACEMENT_TEXT[r['placement']]} | " + " | ".join(cells) + \
            f" | {best or '—'} | {fmt(ratio) if ratio is not None else '—'} |"
        if reference:
            floor = vals.get(REFERENCE_SERVER)
            line += f" {fmt(floor / bv) if floor is not None and bv else '—'} |"
        L.append(line)
    L.append("")


# --------------------------------------------------------------------------------------------
# main


def start_display(o) -> subprocess.Popen:
    """An X server of the bench's own for the window-open rows; sets o.display."""
    if not shutil.which("Xvfb"):
        raise SystemExit("bench.py: Xvfb not found (run bench/run.sh, which installs it)")
    for number in range(90, 120):
        if not os.path.exists(f"/tmp/.X11-unix/X{number}") and \
                not os.path.exists(f"/tmp/.X{number}-lock"):
            break
    else:
        raise SystemExit("bench.py: no free X display number in :90..:119")
    proc = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1280x1024x24", "-nolisten",
                             "tcp", "-ac"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    deadline = time.monotonic() + 15
    while not os.path.exists(f"/tmp/.X11-unix/X{number}"):
        if proc.poll() is not None or time.monotonic() > deadline:
            proc.kill()
            raise SystemExit(f"bench.py: Xvfb :{number} did not start")
        time.sleep(0.05)
    o.display = f":{number}"
    log(f"X display {o.display} (Xvfb) for the window-open rows")
    return proc


def parse_args(argv):
    p = argparse.ArgumentParser(description="TFTP benchmarks (run through bench/run.sh)")
    p.add_argument("--server-bin", required=True, help="ravendockd (Release build)")
    p.add_argument("--client-bin", default="", help="merrowinc (Release build)")
    p.add_argument("--client-skip", default="", help="why merrowinc is not measured")
    p.add_argument("--floor-bin", default="",
                   help="bench/floor_server.cpp built (the floor column; none without it)")
    p.add_argument("--quick", action="store_true",
                   help="smoke test: 1 run, 4 MiB instead of 64 MiB, 256 KiB instead of 1 MiB")
    p.add_argument("--runs", type=int, help="runs per case (default 3, quick 1)")
    p.add_argument("--big-mib", type=float, help="size of the single transfers (default 64)")
    p.add_argument("--small-kib", type=int, help="size of each concurrent fetch (default 1024)")
    p.add_argument("--conc-blksize", type=int, default=1428,
                   help="block size of the concurrent fetches (default 1428)")
    p.add_argument("--concurrency", default="1,16,64,256")
    p.add_argument("--servers", default=",".join(SERVERS))
    p.add_argument("--clients", default=",".join(CLIENTS))
    p.add_argument("--server-cpu", type=int, default=1)
    p.add_argument("--client-cpu", type=int, default=0)
    p.add_argument("--instructions", choices=["auto", "perf", "callgrind", "none"], default="auto")
    p.add_argument("--perf-event", default="instructions", help=argparse.SUPPRESS)
    p.add_argument("--instr-mib", type=float, help="fetch size for instruction counts (default 8)")
    p.add_argument("--skip-memory", action="store_true")
    p.add_argument("--transfer-timeout", type=int, default=300,
                   help="seconds one client may take (default 300)")
    p.add_argument("--max-minutes", type=float, default=60,
                   help="cases not started by then fail the run (default 60)")
    p.add_argument("--results", default=str(Path(__file__).resolve().parent / "results"))
    p.add_argument("--workdir-parent", default="",
                   help="where the test files go (default /dev/shm when it has room, else /tmp)")
    p.add_argument("--keep", action="store_true", help="keep the work folder")
    p.add_argument("--windows", action="store_true",
                   help="only the windowed rows (windowsize) and the lock-step rows they are "
                        "compared with; no memory or instruction runs")
    p.add_argument("--window-sizes", default="4,16,64", help="windowsize values (--windows)")
    p.add_argument("--window-blksizes", default="1428,8192", help="block sizes (--windows)")
    p.add_argument("--window-open", action="store_true",
                   help="only ravendockd with its window open (on an Xvfb display the bench "
                        "starts) against the headless ravendockd; no memory or instruction runs")
    p.add_argument("--window-open-blksizes", default="512,1428",
                   help="block sizes (--window-open)")
    p.add_argument("--git-rev", default="?", help=argparse.SUPPRESS)
    o = p.parse_args(argv)
    o.runs = o.runs or (1 if o.quick else 3)
    o.big = int((o.big_mib or (4 if o.quick else 64)) * MIB)
    o.small = (o.small_kib or (256 if o.quick else 1024)) * 1024
    o.instr_size = int((o.instr_mib or (1 if o.quick else 8)) * MIB)
    o.concurrency = [int(x) for x in o.concurrency.split(",") if x]
    o.memory_concurrency = max(o.concurrency)
    o.fetch_blksizes = [512, 1428, 8192, 65464]
    o.upload_blksizes = [512, 65464]
    o.client_blksizes = [512, 65464]
    o.instr_blksizes = [512, 65464]
    o.window_sizes = [int(x) for x in o.window_sizes.split(",") if x]
    o.window_blksizes = [int(x) for x in o.window_blksizes.split(",") if x]
    o.window_open_blksizes = [int(x) for x in o.window_open_blksizes.split(",") if x]
    if o.windows and o.window_open:
        p.error("--windows and --window-open are separate runs")
    if o.windows or o.window_open:
        o.skip_memory = True
        o.instructions = "none"
    o.servers = [s for s in o.servers.split(",") if s]
    if o.window_open:
        o.servers = [OURS_SERVER, WINDOWED_SERVER]
    o.display = ""
    if o.floor_bin:
        o.floor_bin = os.path.abspath(o.floor_bin)
    if not o.floor_bin or not os.access(o.floor_bin, os.X_OK):
        o.servers = [s for s in o.servers if s != REFERENCE_SERVER]
    o.clients = [c for c in o.clients.split(",") if c]
    for s in o.servers:
        if s not in SERVER_CLASSES:
            p.error(f"unknown server {s}")
    for c in o.clients:
        if c not in CLIENTS:
            p.error(f"unknown client {c}")
    if OURS_SERVER not in o.servers:
        p.error(f"{OURS_SERVER} must be among the servers")
    o.server_bin = os.path.abspath(o.server_bin)
    if not os.access(o.server_bin, os.X_OK):
        p.error(f"no server binary {o.server_bin}")
    if o.client_bin:
        o.client_bin = os.path.abspath(o.client_bin)
    if not o.client_bin or not os.access(o.client_bin, os.X_OK):
        o.client_skip = o.client_skip or f"no {OURS_CLIENT} binary"
    cpus = os.sched_getaffinity(0)
    if o.server_cpu not in cpus or o.client_cpu not in cpus or o.server_cpu == o.client_cpu:
        p.error(f"--server-cpu and --client-cpu must be two different CPUs of {sorted(cpus)}")
    if not o.workdir_parent:
        shm = shutil.disk_usage("/dev/shm") if os.path.isdir("/dev/shm") else None
        need = o.big * 4 + o.small * (o.memory_concurrency + 8) + 512 * MIB
        o.workdir_parent = "/dev/shm" if shm and shm.free > need else "/tmp"
    return o


def main(argv) -> int:
    o = parse_args(argv)
    if os.geteuid() != 0:
        print("bench.py: must run as root (tftpd-hpa chroots, dnsmasq listens on port 69, "
              "cgroups)", file=sys.stderr)
        return 2
    for tool in ("taskset", "curl", "tftp", "atftp", "in.tftpd", "dnsmasq", ATFTPD_BIN):
        if not shutil.which(tool):
            print(f"bench.py: {tool} not found (run bench/run.sh, which installs it)",
                  file=sys.stderr)
            return 2
    display = start_display(o) if o.window_open else None
    start_wall = datetime.datetime.now()
    load_start = loadavg()
    b = Bench(o)

    def on_term(signum, frame):
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, on_term)
    interrupted = False
    try:
        log(f"load average {load_start}; {o.runs} run(s); servers {', '.join(o.servers)}; "
            f"clients {', '.join(o.clients)}"
            + (f"; {OURS_CLIENT} SKIPPED: {o.client_skip}" if o.client_skip else ""))
        if o.client_skip:
            b.notes.append(f"{OURS_CLIENT} was not measured: {o.client_skip}.")
        b.notes.append(f"server CPU accounting: {b.acct.describe()}.")
        b.prepare_data()
        b.build_jobs()
        b.start_servers()
        b.probe_refusals()
        log(f"{len(b.jobs)} measurements × {o.runs} run(s)")
        b.run_matrix()
        if not o.skip_memory:
            b.run_memory()
        try:
            b.run_instructions()
        except BenchError as e:
            b.failures.append(f"instruction counts: {e}")
    except KeyboardInterrupt:
        interrupted = True
        b.failures.append("interrupted")
        log("interrupted")
    except BenchError as e:
        b.failures.append(str(e))
        log(f"FAIL {e}")
    finally:
        versions = {}
        for name in SERVER_CLASSES:
            if name in b.servers:
                try:
                    versions[name] = b.servers[name].version()
                except Exception as e:  # a version string is not worth failing for
                    versions[name] = f"? ({e})"
        versions["curl"] = run_text(["curl", "--version"]).splitlines()[0]
        versions["tftp-hpa"] = dpkg_version("tftp-hpa")
        versions["atftp"] = dpkg_version("atftp")
        if not o.client_skip:
            versions[OURS_CLIENT] = f"git {o.git_rev}"
        fs = run_text(["df", "--output=fstype,target", str(b.work)]).splitlines()[-1:]
        b.close()
        if display is not None:
            display.terminate()
            display.wait(timeout=10)
    if interrupted:
        return 130

    # notes on what the peers could not do
    if o.window_open:
        b.notes.append("ravendockd with its window: the same hive as the headless one plus "
                       "\"Disable splash at startup\"; its list shows each transfer's row.")
    else:
        add_peer_notes(b)
    summary = summarize(b)
    return write_results(b, summary, start_wall, load_start, versions, fs)


def add_peer_notes(b: Bench) -> None:
    o = b.opts
    b.notes.append("tftp-hpa's client has no options at all: 512-byte blocks only, so its "
                   "65464 rows are n/a.")
    if not o.client_skip:
        b.notes.append(f"{OURS_CLIENT} accepts block sizes up to {MERROWINC_MAX_BLKSIZE}: in the "
                       f"65464 rows it asks for {MERROWINC_MAX_BLKSIZE}. It exits with status 0 "
                       f"only when the transfer completed, and the sha256 is checked as well.")
    b.notes.append("dnsmasq can only listen on port 69 and is started with "
                   "--edns-packet-max=65535 (else it caps blksize at 2263); it runs with "
                   "--tftp-max=1024, atftpd with --maxthread 1024, tftpd-hpa forks per transfer, "
                   "ravendockd with no client limit.")
    b.notes.append(f"concurrent fetches use blksize {o.conc_blksize}; all clients of a case are "
                   f"started together and the time runs from the first start to the last exit.")
    b.notes.append("a cell with '(blksize N)' means curl reported a different negotiated block "
                   "size than asked for.")


def write_results(b: Bench, summary: dict, start_wall, load_start: str, versions: dict,
                  fs: list[str]) -> int:
    o = b.opts
    meta = {
        "date": start_wall.strftime("%Y-%m-%d %H:%M"),
        "machine": machine_description(),
        "load_start": load_start,
        "load_end": loadavg(),
        "elapsed_min": (time.monotonic() - T0) / 60,
        "workdir_fs": " ".join(fs[0].split()) if fs else "?",
        "versions": versions,
        "settings": {k: v for k, v in vars(o).items() if isinstance(v, (int, float, str, list, bool))},
        "cpu_accounting": b.acct.describe(),
        "instruction_method": b.instr_method,
    }
    if o.windows:
        b.notes.append(f"{OURS_CLIENT} asks with --windowsize=N, atftp with --option "
                       f"\"windowsize N\"; ravendockd grants the window asked for (up to what two "
                       f"windows of packets in 8 MiB allow), atftpd too.")
    md = markdown_windows(b, summary, meta) if o.windows else \
        markdown_window_open(b, summary, meta) if o.window_open else markdown(b, summary, meta)
    results = Path(o.results)
    results.mkdir(parents=True, exist_ok=True)
    stem = f"{start_wall.strftime('%Y-%m-%d-%H%M')}-{meta['machine']['host']}" + \
        ("-quick" if o.quick else "") + ("-windows" if o.windows else "") + \
        ("-window-open" if o.window_open else "")
    (results / f"{stem}.md").write_text(md + "\n")
    doc = {"meta": meta, "rows": summary["rows"], "memory": b.memory,
           "instructions": b.instructions, "notes": b.notes, "failures": b.failures}
    (results / f"{stem}.json").write_text(json.dumps(doc, indent=1, default=str) + "\n")
    print()
    print(md)
    log(f"written {results / stem}.md and .json")
    if b.failures:
        log(f"FAILED: {len(b.failures)} failure(s)")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
