#!/usr/bin/python3
"""`make run`: the built installer under Wine, on a simulated TV unless a real one is named.

    tools/i386-run.sh /usr/bin/python3 tools/run-installer.py [--tv ADDRESS] [--scenario NAME]
                                                             [--auto] [--work DIR]

Run by `make run` in a private network namespace (tools/netns-run.sh) unless --tv names a real TV,
so the installer reaches nothing but the simulated TV (a display over TCP, which the namespace
cannot reach, makes it run by itself under Xvfb).
With an X display the window opens for a person to use; a simulated TV listens on port 26101 of
a free loopback address other than 127.0.0.1 (127.0.0.2 unless taken; scenario `success` unless
--scenario names another) and is stopped when the window closes. Not 127.0.0.1: the SDK's own
client, built in as the bridge client, would also find the TV there as an emulator and then
refuse to pick one of the two. With no display, or with --auto, the installation runs by itself under Xvfb with
real input: it types the address, presses Install, waits for the end and prints what happened,
with screenshots of before, during and after. --tv ADDRESS starts no simulator: the installer
talks to that TV (with --auto it types that address). --scenario find puts the simulated TV on
the LAN of tools/netns-run.sh --lan at an address that is never typed: the field stays empty and
the installer finds the TV (with --auto it answers the question with Yes). Exit code: 0 when the
installation (or the session) ended as it should, 1 with the reason otherwise.
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402

# The simulator's own list: every way it can play a TV; and find: a TV on the LAN of
# tools/netns-run.sh --lan, at an address the run never types, for the installer to find.
FIND = "find"
SCENARIOS = harness.load_tvsim_module("tvsim").SCENARIOS + (FIND,)
FIND_ADDRESS = "192.168.77.20"
FINISH_LIMIT_S = 180  # the slow scenario takes about a minute under emulation


class Failure(Exception):
    """What went wrong, in one line for the terminal."""


def check_machine(paths):
    """Wine and the built programs, or one line saying what to do."""
    if not os.access("/usr/lib/wine/wine", os.X_OK):
        raise Failure("Wine is not installed: run `make setup` as root (tools/setup-debian.sh)")
    for what, path in (("installer", paths.installer), ("window probe", paths.probe)):
        if not os.path.isfile(path):
            raise Failure("the %s is not built (%s): run `make build`" % (what, path))


def display_answers():
    """Whether the X display can be reached from here (xdpyinfo; assumed so where it is missing)."""
    if not shutil.which("xdpyinfo"):
        return True
    try:
        return subprocess.run(["xdpyinfo"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=20).returncode == 0
    except subprocess.TimeoutExpired:
        return False


def free_tv_address():
    """The first of 127.0.0.2 ... 127.0.0.254 where nothing listens on the TV's port."""
    for last in range(2, 255):
        address = "127.0.0.%d" % last
        if not harness.port_in_use(address=address):
            return address
    raise Failure("port %d is taken on every address from 127.0.0.2 to 127.0.0.254: stop the "
                  "simulated TVs that hold them, or name a real TV with `make run TV=<address>`"
                  % harness.TV_PORT)


def lan_address():
    """This PC's address on the namespace's own LAN (tools/netns-run.sh --lan), or None."""
    if "lan0" not in os.environ.get("KAVORIN_NETNS_OWN", "").split():
        return None
    out = subprocess.run(["ip", "-4", "-o", "addr", "show", "dev", "lan0"], capture_output=True,
                         text=True).stdout.split()
    return out[out.index("inet") + 1].split("/")[0] if "inet" in out else None


def start_tv(paths, scenario, workdir, limit):
    shutil.rmtree(workdir, ignore_errors=True)
    extra = []
    if scenario == FIND:
        if not harness.lan():
            raise Failure("SCENARIO=find needs the LAN of tools/netns-run.sh --lan: run it as "
                          "`make run SCENARIO=find`")
        scenario, address = "success", FIND_ADDRESS  # the TV on the LAN holds this PC's address
    else:
        address = free_tv_address()
        # The TV reports the Host PC IP it holds against the address the window shows for this PC.
        pc = lan_address()
        extra = ["--pc-address", pc] if pc else []
    try:
        return harness.Tv(paths, workdir, scenario, *extra, limit=limit, address=address), address
    except (RuntimeError, TimeoutError) as e:
        raise Failure("the simulated TV did not start on %s:%d: %s" % (address, harness.TV_PORT, e))


def interactive(paths, args):
    """The window for a person; the simulator (if any) lives as long as the window."""
    tv = None
    if not args.tv:
        tv, address = start_tv(paths, args.scenario, args.tv_dir, limit=24 * 3600)
        if args.scenario == FIND:
            print("A simulated TV listens on this PC's network (%s/24, this PC is %s): leave the TV's "
                  "address empty and press Install; the installer finds it. Close the window to stop "
                  "both." % (harness.LAN_PC.rsplit(".", 1)[0] + ".0", harness.LAN_PC), flush=True)
        else:
            print("A simulated TV (scenario %s) listens on %s: type %s as the TV's address and press "
                  "Install. Close the window to stop both." % (args.scenario, address, address), flush=True)
    try:
        env = harness.wine_env(paths)
        code = subprocess.call([harness.WINE_RUN, paths.installer], cwd=args.work, env=env,
                               stdin=subprocess.DEVNULL)
    finally:
        if tv:
            tv.stop()
    if code != 0:
        raise Failure("the installer exited with code %d" % code)
    return 0


def automatic(paths, args):
    """Types the address, presses Install, waits for the end; prints and returns the verdict."""
    texts = harness.texts()
    done, failed = set(texts["DoneText"]), set(texts["FailedText"])
    work = args.work
    shots = os.path.join(work, "screenshots")
    shutil.rmtree(shots, ignore_errors=True)
    paths.shots = shots

    tv, address = (None, args.tv) if args.tv else \
        start_tv(paths, args.scenario, args.tv_dir, limit=FINISH_LIMIT_S + 120)
    started = harness.start_wineserver(paths)
    probe = app = box = found = field = None
    try:
        probe = harness.Probe(paths)
        app = harness.Installer(paths, probe, work)
        app.shot("1-before.png")
        if args.scenario == FIND:
            # The field left empty: the installer looks for the TV and asks; the answer is Yes.
            app.choose("M,N,Q,R,T,A,B")
            app.press_install()
            found = app.wait_box(60)
            app.shot("1a-found.png")
            if "yes" not in found:
                raise Failure("the installer found no TV to ask about: %s" % found["text"].replace("\n", " "))
            app.dismiss_box(found, "yes")
        else:
            harness.start_install(app, address=address)
        app.wait_bar(lambda pos: pos > 0, 60, "the installation to start")
        app.shot("2-during.png")
        state = app.wait_bar_and_status(lambda pos, text: pos == 100 and text in done | failed,
                                        FINISH_LIMIT_S, "the installation to end")
        app.shot("3-after.png")
        field = app.window().edit["text"]
        box = None
        if state.status_text in failed:
            # A failed run says why in a box; read it, as a user would, then OK.
            box = app.wait_box(30)
            app.shot("4-why.png")
            app.dismiss_box(box)
        app.close()
        app.wait_clean_exit(30)
        app.wait_no_leftovers(20)
    except (TimeoutError, RuntimeError, AssertionError) as e:
        raise Failure(str(e))
    finally:
        if app:
            app.stop()
        if probe:
            probe.close()
        if tv:
            tv.stop()
        if started:
            harness.stop_wineserver(paths)

    ok = state.status_text in done
    entries, logs = harness.folder_state(work)
    if args.scenario == FIND:
        print("Found:         %s" % found["text"].split("\n")[0])
        print("TV address:    %s (left empty; the installer found it and put it there)" % field)
    else:
        print("TV address:    %s" % address)
    print("Status:        %s" % state.status_text.replace("\n", " "))
    print("Progress bar:  %d" % state.bar_pos)
    if box:
        lines = box["text"].split("\n")
        print("Message box:   %s" % lines[0])
        for line in lines[1:]:
            print("               %s" % line)
    print("%s: %s" % (os.path.relpath(work, ROOT), ", ".join(entries)))
    print("%s: %s" % (os.path.relpath(os.path.join(work, "doLog"), ROOT), ", ".join(logs)))
    if tv:
        installs = tv.events("install")
        said = ["%s %s (package sha256 %s...)" % (
            i["app_id"], "installed" if i["ok"] else "never finished" if i.get("reason") == "stalled" else "refused",
            (i.get("sha256") or "none")[:12]) for i in installs]
        print("TV journal:    %s" % ("; ".join(said) or "nothing installed"))
        print("               %s" % os.path.relpath(tv.journal, ROOT))
    print("Screenshots:   %s/ (1-before, %s2-during, 3-after%s)" % (
        os.path.relpath(shots, ROOT), "1a-found, " if args.scenario == FIND else "", ", 4-why" if box else ""))
    if not ok:
        raise Failure("the installer reported a failure: %s" % state.status_text.replace("\n", " "))
    return 0


def main():
    # Killed or hung up: leave through the same clean-up as any other end.
    for sig in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, lambda signum, frame: sys.exit(128 + signum))
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--tv", default="", help="a real TV's address: no simulator is started")
    ap.add_argument("--scenario", default="success", choices=SCENARIOS)
    ap.add_argument("--auto", action="store_true", help="install by itself and report")
    ap.add_argument("--work", default=os.path.join(ROOT, "build", "run"),
                    help="the installer's working folder")
    args = ap.parse_args()
    args.work = os.path.abspath(args.work)
    args.tv_dir = args.work + "-tv"
    if args.tv and args.scenario != "success":
        return fail("SCENARIO picks what the simulated TV does; with TV=%s no simulator runs" % args.tv)

    paths = harness.Paths()
    try:
        check_machine(paths)
    except Failure as e:
        return fail(str(e))
    if os.environ.get("DISPLAY") and not args.tv and not display_answers():
        print("The display %s cannot be reached from the private network namespace the simulated "
              "TV runs in (a display over TCP, as with ssh -X): installing by itself under Xvfb."
              % os.environ["DISPLAY"], flush=True)
        del os.environ["DISPLAY"]
    if not os.environ.get("DISPLAY"):
        # No display: the same program again under a virtual one.
        if not shutil.which("xvfb-run"):
            return fail("no X display and no Xvfb: install xvfb (tools/setup-debian.sh does), or run on a desktop")
        print("No X display: installing by itself under Xvfb.", flush=True)
        os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24",
                               sys.executable, os.path.abspath(__file__), *sys.argv[1:], "--auto"])

    os.makedirs(args.work, exist_ok=True)
    # The simulated TV has a loopback address of its own, so no lock on 127.0.0.1:26101 is
    # needed: test runs (which use that one) and other `make run`s go on beside this one.
    try:
        subprocess.run([os.path.join(HERE, "wine-prefix.sh"), paths.build], check=True)
        if args.scenario == FIND and not os.environ.get("KAVORIN_FIND_PREFIX"):
            # Wine lists the adapters in a helper process of the prefix's wineserver, which must
            # run on this LAN: a prefix of the run's own, whatever runs in the shared one.
            env = dict(os.environ, KAVORIN_FIND_PREFIX="1", KAVORIN_WINEPREFIX=paths.prefix)
            os.execve(os.path.join(HERE, "wine-prefix-copy.sh"),
                      ["wine-prefix-copy.sh", "run-find", sys.executable, os.path.abspath(__file__),
                       *sys.argv[1:]], env)
        if args.auto:
            return automatic(paths, args)
        return interactive(paths, args)
    except Failure as e:
        return fail(str(e))
    except subprocess.CalledProcessError as e:
        return fail("%s failed with code %d" % (" ".join(map(str, e.cmd)), e.returncode))


def fail(reason):
    print("make run: %s" % reason, file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
