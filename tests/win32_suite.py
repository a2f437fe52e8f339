#!/usr/bin/python3
"""Black-box suite of the 32-bit program as players run it: build/win32-test/updater.exe
under 32-bit Wine (qemu-user) in two cached prefixes, a 64-bit Windows (build/wine-wow64,
WOW64) and a 32-bit one (build/wine-win32). Like the product it has no CA file: the test
server's CA goes into each prefix's Root store. Needs an X display and build/win64.
Usage: tests/win32_suite.py [CASE ...]   (default: every case)"""
import os, re, shutil, struct, subprocess, sys, time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD32, BUILD64 = os.path.join(ROOT, "build", "win32-test"), os.path.join(ROOT, "build", "win64")
UPDATER32, UPDATER64 = os.path.join(BUILD32, "updater.exe"), os.path.join(BUILD64, "updater.exe")
FETCH32, ADD_ROOT32 = (os.path.join(BUILD32, "helpers", name) for name in ("fetch.exe", "add_root.exe"))
WINE32, WINE64 = "/usr/lib/wine/wine", "/usr/lib/wine/wine64"
SHIM, SHIM_DIR = os.path.join(ROOT, "tools", "qemu-trapno-shim.c"), os.path.join(ROOT, "build", "qemu-shim")
STATE, SITES = os.path.join(BUILD32, "test-server"), os.path.join(BUILD32, "https-root")
FOLDERS = os.path.join(BUILD32, "blackbox")
with open(os.path.join(BUILD32, "test-server.txt")) as f:
    SERVER = dict(l.rstrip("\n").split("=", 1) for l in f if "=" in l)
with open(os.path.join(BUILD32, "runtime-files.txt")) as f:
    RUNTIME = [l.strip() for l in f if l.strip() and not l.startswith("#")]
MIRROR, MAIN = SERVER["mirror_prefix"], SERVER["server_prefix"]


class Prefix:
    def __init__(self, name, arch):
        self.path = os.path.join(ROOT, "build", name)
        self.env = dict(os.environ, WINEPREFIX=self.path, WINEARCH=arch, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=",
                        LD_PRELOAD=os.path.join(SHIM_DIR, "$LIB", "libqemu-trapno.so"))
        if not os.path.exists(os.path.join(self.path, "system.reg")):  # made once
            shutil.rmtree(self.path, ignore_errors=True)
            self.wine("wineboot", "-i", timeout=600)
            # A crash ends the process instead of waiting in a dialog.
            self.wine("reg", "add", "HKCU\\Software\\Wine\\WineDbg", "/v", "ShowCrashDialog",
                      "/t", "REG_DWORD", "/d", "0", "/f")
            self.server("-w")
        self.server("-p")

    def wine(self, *args, loader=WINE32, cwd=None, timeout=90):
        return self.start(*args, loader=loader, cwd=cwd).wait(timeout)

    def start(self, *args, loader=WINE32, cwd=None):
        return subprocess.Popen([loader] + list(args), cwd=cwd, env=self.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def server(self, *args):
        subprocess.run(["wineserver"] + list(args), env=self.env, stderr=subprocess.DEVNULL)


def https_server(command, *args):
    subprocess.run(["python3", os.path.join(ROOT, "tools", "https_server.py"), command,
                    "--state-dir", STATE] + list(args), check=True, stdout=subprocess.DEVNULL)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def publish(path, data):  # "mirror/..." or "server/..."
    write(os.path.join(SITES, *path.split("/")), data)


def read(folder, *path):
    try:
        with open(os.path.join(folder, *path), "rb") as f:
            return f.read()
    except OSError:
        return None


def asked(*targets):
    """True when the server got just these GET requests since the case began."""
    with open(os.path.join(STATE, "requests.log")) as f:
        got = [" ".join(l.split("\t")[1:3]) for l in f if l.count("\t") >= 3]
    return got == ["GET " + t for t in targets] or got


def game_folder(name, system, missing, fetched=None):
    """A folder with the runtime files of system\\ but those missing; fetched: the
    random bytes of the first missing one, put on the mirror."""
    folder = os.path.join(FOLDERS, name)
    shutil.rmtree(folder, ignore_errors=True)
    for entry in RUNTIME:
        parts = entry.split("\\")
        if parts[0] == system and parts[1] not in missing:
            write(os.path.join(folder, *parts), b"runtime library " + entry.encode())
    shutil.copy(os.path.join(BUILD32, "helpers", "fake_game.exe"),
                os.path.join(folder, system, "Game.exe"))
    if fetched:
        publish("mirror/%s/%s" % (system, missing[0]), fetched)
    return folder


def log_lines(folder):
    """velmora.log without the timestamps."""
    return [re.sub(rb"^(\[\w+\]) \d{4}-\d\d-\d\d \d\d:\d\d:\d\d - ", rb"\1 ", l)
            for l in (read(folder, "velmora.log") or b"").split(b"\r\n") if l]


def launched(folder, system):
    """True for one start of system\\Game.exe with "startgame" in folder; else the record."""
    for _ in range(300):
        if (read(folder, "launch-record.txt") or b"").endswith(b"\n"):
            break
        time.sleep(0.1)
    time.sleep(1)  # a second start would have written its lines by now
    lines = (read(folder, "launch-record.txt") or b"").decode().lower().splitlines()
    return (len(lines) == 2 and lines[0].endswith(" startgame") and
            system + "\\game.exe" in lines[0] and
            lines[1] == "z:" + folder.replace("/", "\\").lower()) or lines


def case_wow64_launch_fetches(wow64, win32, check):
    """A launch run under WOW64 fetches into system64\\ and starts from there; no .minisig
    asked for, no system32\\ made, no log written."""
    body = os.urandom(200000)
    folder = game_folder("wow64-launch", "system64", ("AudioMix.dll",), body)
    got = (wow64.wine(UPDATER32, cwd=folder), read(folder, "system64", "AudioMix.dll") == body,
           os.path.exists(os.path.join(folder, "system32")), read(folder, "velmora.log"))
    check("exit code, AudioMix.dll, system32\\, log", got == (0, True, False, None) or got)
    check("game started", launched(folder, "system64"))
    check("requests", asked(MIRROR + "system64/AudioMix.dll"))


def case_wow64_two_launch_runs(wow64, win32, check):
    """Two launch runs at once: one fetches (slowly) and starts the game, one leaves."""
    body = os.urandom(300000)
    folder = game_folder("wow64-two-launches", "system64", ("AudioMix.dll",), body)
    publish("mirror/system64/AudioMix.dll.serve", b"chunk=20000&delay=0.15")  # 2 s
    runs = [wow64.start(UPDATER32, "--log", cwd=folder) for _ in range(2)]
    got = ([p.wait(90) for p in runs], read(folder, "system64", "AudioMix.dll") == body)
    check("exit codes, AudioMix.dll", got == ([0, 0], True) or got)
    check("requests", asked(MIRROR + "system64/AudioMix.dll"))
    check("game started once", launched(folder, "system64"))
    check("one copy left at once",
          log_lines(folder).count(b"[INFO] Another updater is running in this folder") == 1)


def case_wow64_system_roots_decide(wow64, win32, check):
    """The download code as shipped (no CA file): only the test CA's server is
    trusted; the others are refused before any request, with the reason."""
    folder = os.path.join(FOLDERS, "system-roots")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    publish("mirror/x.bin", b"trusted")
    with open(os.path.join(STATE, "ports.txt")) as f:
        ports = dict(l.strip().split("=") for l in f if "=" in l)
    refused = "[ERROR] Transfer error: The server's certificate was refused: "
    for listener, why in (("main", None), ("selfsigned", "its root is not trusted by the system"),
                          ("otherca", "its issuer is not known to the system"),
                          ("wrongname", "it is not made out for localhost")):
        url = "https://localhost:%s%sx.bin" % (ports[listener], MIRROR)
        got = (wow64.wine(FETCH32, url, "x.bin", cwd=folder), read(folder, "x.bin"),
               why is None or (refused + why).encode() in log_lines(folder))
        check(listener, got == ((1, None) if why else (0, b"trusted")) + (True,) or got)
        for name in ("x.bin", "x.bin.part", "velmora.log"):
            if os.path.exists(os.path.join(folder, name)):
                os.remove(os.path.join(folder, name))
    check("requests", asked(MIRROR + "x.bin"))


def proxy_settings(enable, server, blob):
    """A .reg file of the current user's proxy settings ("-" deletes a value)."""
    key = "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"
    return ('REGEDIT4\n\n%s]\n"ProxyEnable"=%s\n"ProxyServer"=%s\n\n%s\\Connections]\n'
            '"DefaultConnectionSettings"=%s\n' % (key, enable, server, key, blob)).encode()


def case_wow64_launch_through_proxy(wow64, win32, check):
    """Behind a fixed proxy set in the player's Windows settings (as Internet Options writes
    them) the missing file comes through the proxy's tunnel."""
    state = os.path.join(BUILD32, "connect-proxy")
    proxy = ["python3", os.path.join(ROOT, "tests", "support", "connect_proxy.py")]
    subprocess.run(proxy + ["start", state], check=True)
    with open(os.path.join(state, "ports.txt")) as f:
        at = "127.0.0.1:" + dict(l.strip().split("=") for l in f)["open"]
    blob = struct.pack("<4I", 0x46, 1, 3, len(at)) + at.encode() + bytes(8 + 32)
    body = os.urandom(100000)
    folder = game_folder("wow64-proxy", "system64", ("AudioMix.dll",), body)
    write(os.path.join(folder, "on.reg"), proxy_settings("dword:00000001", '"%s"' % at,
                                                         "hex:" + blob.hex(",")))
    write(os.path.join(folder, "off.reg"), proxy_settings("-", "-", "-"))
    try:
        check("settings", wow64.wine("reg", "import", "on.reg", cwd=folder) == 0)
        check("exit code", wow64.wine(UPDATER32, "--log", cwd=folder) == 0)
    finally:
        wow64.wine("reg", "import", "off.reg", cwd=folder)
        subprocess.run(proxy + ["stop", state])
    got = (read(folder, "system64", "AudioMix.dll") == body, read(state, "tunnels.log"),
           ("[INFO] Proxy: " + at).encode() in log_lines(folder))
    check("AudioMix.dll, tunnel, route",
          got == (True, b"open\tlocalhost:%s\n" % SERVER["port"].encode(), True) or got)
    check("game started", launched(folder, "system64"))


def update_folder(name):
    """Three entries (replacing, nested, unsafe); Presence.dll only on the main server."""
    folder = game_folder(name, "system64", ("Presence.dll",))
    for path, data in (("download/data/maps/a.map", b"new map"), ("download/readme.txt", b"new"),
                       ("readme.txt", b"old"), ("patchlist.bat", b"@echo off\r\n"),
                       ("escaped.txt", b"outside"),  # the unsafe entry's source
                       ("patchlist.txt",
                        b'"data\\maps\\a.map"\r\nreadme.txt\r\n..\\escaped.txt\r\n')):
        write(os.path.join(folder, path), data)
    if os.path.exists(os.path.join(FOLDERS, "escaped.txt")):
        os.remove(os.path.join(FOLDERS, "escaped.txt"))
    return folder


def case_wow64_update_run(wow64, win32, check):
    """An update run under WOW64 (a runtime file from the main server after the
    mirror's 404); its log is line for line the 64-bit build's."""
    publish("server/system64/Presence.dll", b"presence")
    folder = update_folder("wow64-update")
    check("exit code", wow64.wine(UPDATER32, "update", "--log", cwd=folder) == 0)
    got = [read(folder, *p.split("/")) for p in
           ("data/maps/a.map", "readme.txt", "system64/Presence.dll", "download/readme.txt",
            "../escaped.txt", "patchlist.txt", "patchlist.bat")]
    check("files", got == [b"new map", b"new", b"presence"] + [None] * 4 or got)
    check("game started", launched(folder, "system64"))
    log32 = log_lines(folder)
    check("refusal logged", b"[ERROR] Refused unsafe path: ..\\escaped.txt" in log32)
    check("requests", asked(MIRROR + "system64/Presence.dll", MAIN + "system64/Presence.dll"))
    folder64 = update_folder("wow64-update-x64")
    check("64-bit build's exit code",
          wow64.wine(UPDATER64, "update", "--log", loader=WINE64, cwd=folder64) == 0)
    log64 = log_lines(folder64)
    check("the logs of both builds", log32 == log64 or
          [(a, b) for a, b in zip(log32, log64) if a != b][:3] or (len(log32), len(log64)))


def case_wow64_updater_replaces_itself(wow64, win32, check):
    """A copy of the program started from the game folder, whose update names updater.exe:
    the new image is in place and the game started; the next run (the new program) removes
    the old image."""
    folder = game_folder("wow64-self", "system64", ())
    with open(UPDATER32, "rb") as f:
        image = f.read()
    new = image + b"the new build"  # bytes after the image: it runs the same
    for path, data in (("updater.exe", image), ("download/updater.exe", new),
                       ("patchlist.txt", b"updater.exe\r\n")):
        write(os.path.join(folder, path), data)
    self = os.path.join(folder, "updater.exe")
    old = lambda: [n for n in os.listdir(folder) if ".old~" in n or n == "velmora.setaside"]
    check("exit code", wow64.wine(self, "update", "--log", cwd=folder) == 0)
    got = (read(folder, "updater.exe") == new, read(folder, "patchlist.txt"), len(old()))
    check("new image, list, old image and note", got == (True, None, 2) or got)
    check("game started", launched(folder, "system64"))
    os.remove(os.path.join(folder, "launch-record.txt"))
    check("the new program's exit code", wow64.wine(self, "--log", cwd=folder) == 0)
    check("no old image", old() == [] or old())
    check("game started again", launched(folder, "system64"))


def case_wow64_full_drive_told(wow64, win32, check):
    """With the product's 1 GiB reserve, on a volume with a little more free: a file that
    would eat into the reserve is refused on both servers, nothing written, and the box
    tells the player the drive is full (read from the log line that repeats it; the box
    itself is left to the process's end)."""
    volume = os.path.join(FOLDERS, "reserve-volume")
    small = [os.path.join(ROOT, "tools", "small-volume")]
    subprocess.run(small + ["mount", volume, "%dk" % ((1 << 20) + 2048)], check=True)
    try:
        folder = game_folder(os.path.join("reserve-volume", "game"), "system64", ("AudioMix.dll",))
        stat = os.statvfs(folder)
        room = stat.f_bavail * stat.f_frsize - (1 << 30)
        for site in ("mirror", "server"):
            publish(site + "/system64/AudioMix.dll", b"a" * (room + (256 << 10)))
        run = wow64.start(UPDATER32, "--log", cwd=folder)
        told = b""
        for _ in range(600):
            told = b"".join(l for l in log_lines(folder) if b"Told the player" in l)
            if told or run.poll() is not None:
                break
            time.sleep(0.1)
        run.kill()
        run.wait(30)
        check("told", told.startswith(b"[ERROR] Told the player: The drive ") and
              b" is full: the file needs " in told or told)
        refused = [l for l in log_lines(folder) if l.startswith(b"[ERROR] Refused: ")]
        check("both refused", len(refused) == 2 or refused)
        check("nothing left", not os.path.exists(os.path.join(folder, "system64", "AudioMix.dll.part")))
    finally:
        subprocess.run(small + ["unmount", volume])


def case_win32_only_system32(wow64, win32, check):
    """On a 32-bit Windows only system32\\ is looked at, fetched into and started from."""
    folder = game_folder("win32-launch", "system32", ("Crashlog.dll", "NetFetch.dll"))
    for entry in RUNTIME:
        publish("mirror/" + entry.replace("\\", "/"), entry.encode())
    check("exit code", win32.wine(UPDATER32, "--log", cwd=folder) == 0)
    got = [read(folder, "system32", n) for n in ("Crashlog.dll", "NetFetch.dll")]
    check("fetched", got == [b"system32\\Crashlog.dll", b"system32\\NetFetch.dll"] or got)
    check("no system64\\", not os.path.exists(os.path.join(folder, "system64")))
    check("game started", launched(folder, "system32"))
    check("requests", asked(MIRROR + "system32/Crashlog.dll", MIRROR + "system32/NetFetch.dll"))
    log = b"\n".join(log_lines(folder))
    check("no 64-bit file in the log", b"system64" not in log and b"-x64" not in log)


def main(wanted):
    for lib, flag in (("i386-linux-gnu", "-m32"), ("x86_64-linux-gnu", "-m64")):  # qemu's traps
        out = os.path.join(SHIM_DIR, "lib", lib, "libqemu-trapno.so")
        if not os.path.exists(out) or os.path.getmtime(out) < os.path.getmtime(SHIM):
            os.makedirs(os.path.dirname(out), exist_ok=True)
            subprocess.run(["gcc", flag, "-O2", "-shared", "-fPIC", "-Wall", "-Wextra", "-Werror",
                            "-o", out, SHIM, "-ldl"], check=True)
    start, failed = time.time(), 0
    prefixes = [Prefix("wine-wow64", "win64"), Prefix("wine-win32", "win32")]
    os.makedirs(STATE, exist_ok=True)
    https_server("start", "--pki-dir", SERVER["pki_dir"], "--root", SITES, "--main-port",
                 SERVER["port"], "--mirror-prefix", MIRROR, "--server-prefix", MAIN,
                 "--lifetime", "900")
    try:
        for prefix in prefixes:  # the CA of this server start, as a root of each Windows
            if prefix.wine(ADD_ROOT32, "Z:" + os.path.join(SERVER["pki_dir"], "ca.pem")) != 0:
                print("FAIL the test CA could not be added to %s's Root store" % prefix.path)
                return 1
        for name, case in [(n[5:], f) for n, f in globals().items()
                           if n.startswith("case_") and (not wanted or n[5:] in wanted)]:
            shutil.rmtree(SITES, ignore_errors=True)
            for site in ("mirror", "server"):
                os.makedirs(os.path.join(SITES, site))
            open(os.path.join(STATE, "requests.log"), "w").close()
            t, fails = time.time(), []
            check = lambda what, ok: ok is True or fails.append("%s: %r" % (what, ok))
            try:
                case(*prefixes, check)
            except subprocess.TimeoutExpired:  # a message box nobody answers, say
                fails.append("timed out")
                for prefix, arg in [(p, a) for p in prefixes for a in ("-k", "-p")]:
                    prefix.server(arg)
            failed += bool(fails)
            print("%s %s (%.1f s)" % ("FAIL" if fails else "ok  ", name, time.time() - t) +
                  "".join("\n    " + f for f in fails))
    finally:
        https_server("stop")
        for prefix in prefixes:
            prefix.server("-k")
    print("win32 suite took %.0f s; %d failed" % (time.time() - start, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
