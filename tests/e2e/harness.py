"""The end-to-end harness: the built installer under Wine on the current X display, the probe
that reads its window, real X input through xdotool, and the TV simulator on 127.0.0.1:26101 (or
on the LAN of tools/netns-run.sh --lan).

Used by the e2e tests (tests/e2e) and by the e2e benchmark (bench/e2e). Paths come from the
environment that CTest sets; each has a default inside the tree for runs by hand:

    tools/i386-run.sh xvfb-run -a -s "-screen 0 1280x1024x24" \
        /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/e2e
"""
import fcntl
import hashlib
import importlib.util
import json
import os
import queue
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))

TV_PORT = 26101            # the installer always connects to this port
REST_PORT = 8001           # and asks the TV's own service here after a failed connect
APP_ID = "Qw7TzLp2Xe.KAVORIN"
# Staging folder of series "M,N,Q,R,T,A,B", the generation the simulator plays by default.
STAGING = "/home/owner/share/tmp/sdk_tools/tmp"
LOGS = ["step%d.txt" % i for i in range(1, 8)]
# Windows programs of a run; anything of these still alive after the installer ended is a leak.
OUR_PROGRAMS = ("kavorininstaller.exe", "iu.exe", "cmd.exe", "conhost.exe")


def _env_path(name, default):
    return os.environ.get(name) or default


class Paths:
    def __init__(self):
        build = _env_path("KAVORIN_BUILD_DIR", os.path.join(ROOT, "build", "windows"))
        self.build = build
        self.installer = _env_path("KAVORIN_E2E_INSTALLER", os.path.join(build, "KavorinInstaller.exe"))
        self.probe = _env_path("KAVORIN_E2E_PROBE", os.path.join(build, "tests", "e2e", "e2e_probe.exe"))
        self.tvsim = _env_path("KAVORIN_TVSIM", os.path.join(ROOT, "tests", "tvsim", "tvsim.py"))
        self.wgt = _env_path("KAVORIN_E2E_WGT", os.path.join(ROOT, "build", "host", "widget", "KAVORIN.wgt"))
        self.shots = _env_path("KAVORIN_E2E_SHOTS", os.path.join(build, "e2e-screenshots"))
        self.prefix = _env_path("KAVORIN_WINEPREFIX", os.path.join(build, "wineprefix"))

    def missing(self):
        """What a run needs and does not have, as readable reasons."""
        out = []
        for what, path in (("installer", self.installer), ("probe", self.probe),
                           ("TV simulator", self.tvsim), ("widget package", self.wgt)):
            if not os.path.isfile(path):
                out.append("%s not found at %s" % (what, path))
        if not os.environ.get("DISPLAY"):
            out.append("no X display (run under xvfb-run)")
        if not shutil.which("xdotool"):
            out.append("xdotool missing")
        if not os.path.isfile(os.path.join(self.prefix, "system.reg")):
            out.append("no Wine prefix at %s (tools/wine-prefix.sh)" % self.prefix)
        return out


def wait_for(condition, timeout, what, interval=0.1):
    """Polls `condition` until it returns something true; returns that, or raises."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def sha256_file(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


# Starts a Windows program under Wine where 32-bit code runs; exec all the way, so the pid it
# gets is the program's own.
WINE_RUN = os.path.join(ROOT, "tools", "wine-run.sh")


def wine_env(paths, **extra):
    env = dict(os.environ, WINEPREFIX=paths.prefix, KAVORIN_WINEPREFIX=paths.prefix,
               WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    env.pop("KAVORIN_E2E_MARK", None)
    env.update(extra)
    return env


def wineserver_running(paths):
    """Whether a wineserver serves this prefix now."""
    needle = ("WINEPREFIX=" + paths.prefix).encode()
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/comm" % pid) as f:
                if not f.read().startswith("wineserver"):
                    continue
            with open("/proc/%s/environ" % pid, "rb") as f:
                if needle in f.read().split(b"\0"):
                    return True
        except OSError:
            continue
    return False


def start_wineserver(paths):
    """A wineserver that outlives single programs (for 30 s after the last one), started with
    no pipes attached: one started by a captured program would keep that program's pipes open.
    Returns whether this call started it (and so should stop it at the end)."""
    if wineserver_running(paths):
        return False
    server = shutil.which("wineserver") or "/usr/lib/wine/wineserver64"
    with tempfile.TemporaryFile() as err:  # a file, not a pipe: the server outlives the call
        p = subprocess.run([server, "-p30"], env=wine_env(paths), stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=err, timeout=60)
        err.seek(0)
        # 2: one was started meanwhile by someone else.
        if p.returncode not in (0, 2):
            raise RuntimeError("%s -p30 exited with %d: %s" % (
                server, p.returncode, err.read().decode(errors="replace")))
    return p.returncode == 0


def stop_wineserver(paths):
    server = shutil.which("wineserver") or "/usr/lib/wine/wineserver64"
    subprocess.run([server, "-k"], env=wine_env(paths), stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


def program_of(argv0):
    """Lower-case file name of a program path, Windows or Linux."""
    return argv0.replace("\\", "/").rsplit("/", 1)[-1].lower()


def windows_program(argv):
    """The program a Linux process runs, as Wine would name it: past a leading qemu-i386 (32-bit
    code emulated; Wine's own rewrite of its command line then stays inside the emulator) and
    the Wine loader of a program still being loaded."""
    argv = [a for a in argv if a]
    while len(argv) > 1 and program_of(argv[0]).startswith(("qemu-", "wine")):
        argv = argv[1:]
    return program_of(argv[0]) if argv else ""


def marked_processes(mark, names=OUR_PROGRAMS):
    """(pid, program, command line) of the Linux processes that carry this run's mark in their
    environment and run one of `names`. Windows programs under Wine inherit the environment of
    the program that started them, and show their Windows command line."""
    needle = ("KAVORIN_E2E_MARK=" + mark).encode()
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                if needle not in f.read().split(b"\0"):
                    continue
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                argv = f.read().decode(errors="replace").split("\0")
        except OSError:
            continue
        program = windows_program(argv)
        if program in names:
            found.append((int(pid), program, " ".join(argv).strip()))
    return found


def kill_marked(mark):
    for pid, _, _ in marked_processes(mark):
        try:
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass


# ---------------------------------------------------------------------------------------------
# The probe: a Windows console program that answers one JSON line per request.

class Probe:
    def __init__(self, paths):
        self.command = [WINE_RUN, paths.probe]
        self.errors = tempfile.TemporaryFile()
        self.proc = subprocess.Popen(self.command, env=wine_env(paths), stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=self.errors)
        self._lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            self._lines.put(line)
        self._lines.put(None)

    def ask(self, request, timeout=15):
        self.proc.stdin.write((request + "\n").encode())
        self.proc.stdin.flush()
        try:
            line = self._lines.get(timeout=timeout)
        except queue.Empty:
            raise TimeoutError("probe gave no answer to %r within %d s" % (request, timeout))
        if line is None:
            self.errors.seek(0)
            raise RuntimeError("%s ended with code %s; its output: %s" % (
                " ".join(self.command), self.proc.wait(), self.errors.read().decode(errors="replace")))
        return json.loads(line.decode("ascii"))

    def window(self):
        """The main window as it is now, or None when there is none."""
        snap = self.ask("snap")
        if not snap.get("found"):
            return None
        try:
            return Window(snap)
        except AssertionError:
            if snap["visible"]:
                raise
            return None  # a window on its way out, its controls partly gone

    def bar(self):
        """(bar position, status text), read cheaply; None when there is no window."""
        state = self.ask("bar")
        if not state.get("found") or state.get("pos") is None:
            return None
        return BarState(state["pos"], state["labels"][0] if state["labels"] else "")

    def ping(self, timeout_ms):
        return self.ask("ping %d" % timeout_ms)

    def processes(self):
        return self.ask("procs")["procs"]

    def box(self):
        """The installer's message box ({"text", "ok": [x, y]}), or None when none shows."""
        box = self.ask("box")
        return box if box.get("found") else None

    def close(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.write(b"quit\n")
                self.proc.stdin.flush()
                self.proc.wait(10)
            except (OSError, subprocess.TimeoutExpired):
                self.proc.kill()
                self.proc.wait()


class BarState:
    def __init__(self, pos, status):
        self.bar_pos, self.status_text = pos, status

    def __repr__(self):
        return "BarState(%r, %r)" % (self.bar_pos, self.status_text)


class Window:
    """One snapshot of the installer's window, its controls found by what they are."""

    def __init__(self, snap):
        self.snap = snap
        self.rect = snap["rect"]
        self.controls = snap["controls"]
        edits = [c for c in self.controls if c["class"].lower() == "edit"]
        assert len(edits) == 1, "expected one edit control, found %d" % len(edits)
        self.edit = edits[0]
        group = self.edit["parent"]
        self.install_button = self._one(lambda c: c["parent"] == group and self._push(c), "Install button")
        self.bar = self._one(lambda c: c["class"] == "msctls_progress32", "progress bar")
        labels = [c for c in self.controls if c["parent"] == group and c["class"] == "KavorinLabel"]
        # The status line is the label above the others in the installation group.
        self.status = min(labels, key=lambda c: c["rect"][1])

    def _one(self, match, what):
        found = [c for c in self.controls if match(c)]
        assert len(found) == 1, "expected one %s, found %d" % (what, len(found))
        return found[0]

    @staticmethod
    def _push(c):
        return c["class"].lower() == "button" and (c["style"] & 0xF) in (0, 1)

    def radio(self, text):
        return self._one(lambda c: c["class"].lower() == "button" and c["text"] == text, "radio " + text)

    @property
    def status_text(self):
        return self.status["text"]

    @property
    def bar_pos(self):
        return self.bar["pos"]

    @property
    def visible(self):
        return self.snap["visible"]

    @property
    def close_box(self):
        return self.snap.get("close")


def centre(control):
    left, top, right, bottom = control["rect"]
    return (left + right) // 2, (top + bottom) // 2


# ---------------------------------------------------------------------------------------------
# Real input and screenshots on the X display.

def _xdotool(*args):
    subprocess.run(["xdotool", *args], check=True, timeout=30,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def pointer():
    out = subprocess.run(["xdotool", "getmouselocation", "--shell"], check=True, timeout=30,
                         capture_output=True, text=True).stdout
    fields = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return int(fields["X"]), int(fields["Y"])


def click_at(x, y):
    # Not `mousemove --sync`: it waits for a motion event, and there is none when the pointer
    # already stands there.
    _xdotool("mousemove", str(x), str(y))
    wait_for(lambda: pointer() == (x, y), 10, "the pointer to reach %d,%d" % (x, y), interval=0.02)
    _xdotool("click", "1")


def click(control):
    click_at(*centre(control))


def type_text(text):
    _xdotool("type", "--delay", "40", text)


def screenshot(path, rect=None):
    """The screen as the user sees it (ImageMagick `import -window root`), cut to `rect`."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    cmd = ["import", "-window", "root"]
    if rect:
        left, top, right, bottom = rect
        cmd += ["-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top), "+repage"]
    subprocess.run(cmd + [path], check=True, timeout=60,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


# ---------------------------------------------------------------------------------------------
# The TV simulator on 127.0.0.1:26101.

class PortLock:
    """Holds the machine-wide lock on port 26101 for one e2e session. CTest's RESOURCE_LOCK only
    orders tests of one ctest run; other people's runs on the same machine take this lock too,
    or their installer would talk to our TV."""
    PATH = "/tmp/kavorin-e2e-port-%d.lock" % TV_PORT

    def __init__(self, timeout=600):
        self.file = open(self.PATH, "a+")
        def take():
            try:
                fcntl.flock(self.file, fcntl.LOCK_EX | fcntl.LOCK_NB)
                return True
            except BlockingIOError:
                return False
        wait_for(take, timeout, "another e2e run on this machine to release port %d" % TV_PORT,
                 interval=0.5)

    def release(self):
        fcntl.flock(self.file, fcntl.LOCK_UN)
        self.file.close()


def port_in_use(port=TV_PORT, address="127.0.0.1"):
    with socket.socket() as s:
        s.settimeout(1)
        return s.connect_ex((address, port)) == 0


# The LAN of tools/netns-run.sh --lan: this PC is LAN_PC on lan0; the LAN's other hosts, the
# simulated TVs among them, live in a namespace of their own (KAVORIN_LAN_NETNS) on lan0-peer.
LAN_PC = "192.168.77.1"
LAN_PREFIX = 24


def lan():
    """The LAN's namespace, or None outside tools/netns-run.sh --lan."""
    return os.environ.get("KAVORIN_LAN_NETNS") or None


def on_lan(argv):
    """`argv` run on the LAN's other side."""
    return ["nsenter", "--net=" + lan(), *argv]


def lan_host(address):
    """Gives the LAN's other side `address` (once)."""
    held = subprocess.run(on_lan(["ip", "-4", "-o", "addr", "show", "dev", "lan0-peer"]), check=True,
                          capture_output=True, text=True, timeout=30).stdout
    if " %s/" % address not in held:
        subprocess.run(on_lan(["ip", "addr", "add", "%s/%d" % (address, LAN_PREFIX), "dev", "lan0-peer"]),
                       check=True, timeout=30)


def load_tvsim_module(name, path=None):
    """A module of the TV simulator (tests/tvsim/<name>.py, or the file at `path`)."""
    path = path or os.path.join(ROOT, "tests", "tvsim", name + ".py")
    found = importlib.util.spec_from_file_location("tvsim_" + name, path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def _journal_reader(tvsim_path):
    """The simulator's own journal reader, loaded from tvsim.py (it owns the journal's format)."""
    return load_tvsim_module("tvsim", tvsim_path).read_journal


class Tv:
    def __init__(self, paths, workdir, scenario="success", *extra, limit=240, address="127.0.0.1"):
        self.dir = workdir
        os.makedirs(workdir, exist_ok=True)
        self.journal = os.path.join(workdir, "journal.jsonl")
        self.read_journal = _journal_reader(paths.tvsim)
        self.root = os.path.join(workdir, "tvroot")
        ready = os.path.join(workdir, "ready")
        if os.path.exists(ready):
            os.remove(ready)
        local = address.startswith("127.")
        if not local:
            lan_host(address)
        wait_for(lambda: not port_in_use(address=address) and not port_in_use(REST_PORT, address), 20,
                 "ports %d and %d to be free" % (TV_PORT, REST_PORT))
        cmd = ["/usr/bin/python3", paths.tvsim, "--address", address, "--port", str(TV_PORT),
               "--rest-port", str(REST_PORT),
               "--scenario", scenario,
               "--root", self.root, "--journal", self.journal, "--ready-file", ready,
               "--exit-after-seconds", str(limit)] + ([] if local else ["--pc-address", LAN_PC]) + list(extra)
        if not local:  # a host of the LAN: on its other side, holding this PC's address
            cmd = on_lan(cmd)
        self.proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        try:
            wait_for(lambda: os.path.exists(ready) or self.proc.poll() is not None, 20,
                     "the TV simulator to listen")
        except TimeoutError:
            self.stop()
            raise
        if self.proc.poll() is not None:
            err = self.proc.stderr.read().decode(errors="replace")
            raise RuntimeError("the TV simulator did not start: " + err)

    def events(self, name=None):
        if not os.path.exists(self.journal):
            return []
        return [e for e in self.read_journal(self.journal) if name is None or e.get("event") == name]

    def problems(self):
        """Protocol mistakes of the client and simulator failures."""
        return [e for e in self.events() if e.get("event") in ("violation", "internal-error")]

    def shells(self, verb=None):
        return [e for e in self.events("shell") if verb is None or e["verb"] == verb]

    def file(self, tv_path):
        path = os.path.join(self.root, tv_path.lstrip("/"))
        if not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc.stderr.close()


# ---------------------------------------------------------------------------------------------
# The installer.

class Installer:
    """KavorinInstaller.exe started in `work`, its window read through `probe`; `env` adds to its
    environment."""

    def __init__(self, paths, probe, work, **env):
        self.paths, self.probe, self.work = paths, probe, work
        self.mark = uuid.uuid4().hex
        state = os.path.join(work + ".state", "targets")
        os.makedirs(os.path.dirname(state), exist_ok=True)
        # The bridge client keeps its targets in a file of its own per run, not in the prefix.
        env = wine_env(paths, KAVORIN_E2E_MARK=self.mark,
                       KAVORIN_BRIDGE_STATE="Z:" + state.replace("/", "\\"), **env)
        wait_for(lambda: self.probe.window() is None, 20, "no installer window to be left over")
        self.started = time.monotonic()
        self.command = [WINE_RUN, paths.installer]
        self.errors = tempfile.TemporaryFile()
        self.proc = subprocess.Popen(self.command, cwd=work, env=env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=self.errors)
        self.win = wait_for(self._shown, 60, "the installer window", interval=0.02)
        self.shown = time.monotonic()

    def _shown(self):
        if self.proc.poll() is not None:
            raise RuntimeError("the installer ended at start: " + self.ended())
        win = self.probe.window()
        if win and win.snap["count"] != 1:
            raise RuntimeError("%d installer windows: another run shares this Wine prefix" % win.snap["count"])
        return win if win and win.visible and win.close_box else None

    def window(self):
        win = self.probe.window()
        if win:
            self.win = win
        return win

    # -- what a user does
    def type_address(self, text):
        click(self.win.edit)
        type_text(text)
        wait_for(lambda: self.window().edit["text"] == text, 10, "the typed address to show")

    def choose(self, radio_text):
        click(self.win.radio(radio_text))
        wait_for(lambda: self.window().radio(radio_text)["check"] == 1, 10,
                 "radio %r to be checked" % radio_text)

    def press_install(self):
        click(self.win.install_button)

    def close(self):
        click_at(*self.win.close_box)

    def wait_box(self, timeout):
        """Until a message box shows (with its OK button, or a question's Yes and No); returns it."""
        return wait_for(lambda: (lambda b: b if b and (b.get("ok") or b.get("yes")) else None)(self.probe.box()),
                        timeout, "a message box")

    def dismiss_box(self, box, button="ok"):
        """Clicks the box's OK (or a question's "yes" or "no"), as a user does, and waits until the
        window is usable again."""
        click_at(*box[button])
        wait_for(lambda: self.probe.box() is None, 10, "the message box to close")
        wait_for(lambda: self.probe.ping(2000).get("answered"), 10, "the window to answer")

    # -- what the tests wait for
    def wait_bar(self, condition, timeout, what):
        """Until condition(bar position) holds; returns the BarState."""
        def check():
            state = self.probe.bar()
            return state if state and condition(state.bar_pos) else None
        return wait_for(check, timeout, what, interval=0.05)

    def wait_finished(self, texts, timeout):
        """Until the bar stands at 100 and the status shows one of `texts`; returns the BarState."""
        return self.wait_bar_and_status(lambda pos, text: pos == 100 and text in texts, timeout,
                                        "the run to finish")

    def wait_bar_and_status(self, condition, timeout, what):
        def check():
            state = self.probe.bar()
            return state if state and condition(state.bar_pos, state.status_text) else None
        return wait_for(check, timeout, what, interval=0.05)

    def ended(self):
        """How the program ended: the command, its exit code and what Wine printed."""
        self.errors.seek(0)
        return "%s in %s exited with code %s; its output: %s" % (
            " ".join(self.command), self.work, self.proc.returncode,
            self.errors.read().decode(errors="replace").strip() or "(none)")

    def wait_exit(self, timeout):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise TimeoutError("the installer did not end within %d s" % timeout)

    def wait_clean_exit(self, timeout):
        """Until the program ends; raises, naming the command and its output, unless with 0."""
        code = self.wait_exit(timeout)
        assert code == 0, self.ended()
        return code

    def leftovers(self):
        """Programs of this run still alive, as Linux sees them and as Wine lists them."""
        found = [(pid, program) for pid, program, _ in marked_processes(self.mark)]
        return found + [(p["pid"], p["exe"]) for p in self.windows_descendants()]

    def wait_no_leftovers(self, timeout=10):
        """Until nothing of this run is alive; raises with what still is."""
        try:
            wait_for(lambda: not self.leftovers(), timeout, "the run's programs to end", interval=0.2)
        except TimeoutError:
            raise AssertionError("still running after %d s: %s" % (timeout, self.leftovers()))

    def windows_descendants(self):
        """Windows processes started by this installer, directly or through cmd.exe."""
        ours, procs = {self.win.snap["pid"]}, self.probe.processes()
        grew = True
        while grew:
            grew = False
            for p in procs:
                if p["ppid"] in ours and p["pid"] not in ours:
                    ours.add(p["pid"])
                    grew = True
        return [p for p in procs if p["pid"] in ours and p["pid"] != self.win.snap["pid"]]

    def running(self, program):
        return [p for p in marked_processes(self.mark, (program,))]

    def shot(self, name):
        screenshot(os.path.join(self.paths.shots, name), self.win.rect)

    def stop(self):
        """Ends the program if still running, and anything it started."""
        if self.proc.poll() is None:
            try:
                self.close()
                self.proc.wait(15)
            except Exception:
                pass
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        kill_marked(self.mark)


def texts():
    """The texts the window must show, from tests/expected-texts.txt: {name: (Russian, English)}.
    Entries "<name>.01", "<name>.02", ... are the lines of <name>, joined with line feeds."""
    found = {}
    with open(os.path.join(ROOT, "tests", "expected-texts.txt"), encoding="utf-8") as f:
        for line in f:
            if not line.strip() or line.startswith("#"):
                continue
            name, lang, quoted = line.rstrip("\n").split(" ", 2)
            text = quoted[quoted.index('"') + 1:quoted.rindex('"')]
            for index in {"ru": (0,), "en": (1,), "*": (0, 1)}[lang]:
                base = name.split(".")[0]
                value = found.setdefault(base, ["", ""])
                value[index] = text if base == name else "\n".join(filter(None, (value[index], text)))
    return {k: tuple(v) for k, v in found.items()}


# ---------------------------------------------------------------------------------------------
# What every case does and checks.

def start_install(app, series="M,N,Q,R,T,A,B", address="127.0.0.1"):
    """Types the address, picks the series and presses Install, as a user does."""
    app.type_address(address)
    app.choose(series)
    app.press_install()


IPV4 = re.compile(r"^\d{1,3}(\.\d{1,3}){3}$")


def pc_addresses(win):
    """This PC's IPv4 addresses as the window's address line shows them (empty: none)."""
    for c in win.controls:
        words = c["text"].split()
        if c["class"] == "KavorinLabel" and words and all(IPV4.match(w) for w in words):
            return words
    return []


def folder_state(work):
    """(entries of the working folder, entries of doLog)."""
    log_dir = os.path.join(work, "doLog")
    logs = sorted(os.listdir(log_dir)) if os.path.isdir(log_dir) else []
    return sorted(os.listdir(work)), logs


def read_log(work, name):
    with open(os.path.join(work, "doLog", name), "rb") as f:
        return f.read()
