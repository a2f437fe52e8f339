#!/usr/bin/python3
"""Black-box suite of the 32-bit program as players run it.

Runs build/win32-test/updater.exe (the i686 build with the test build's
constants) under 32-bit Wine, through qemu-user, in two cached prefixes: a
64-bit Windows (build/wine-wow64, the program under WOW64) and a 32-bit
Windows (build/wine-win32). Each case writes a game folder, starts the
program (twice at once in one case), waits, and checks the folder, the local HTTPS server's request log
and the stand-in game's launch record. Needs an X display (tools/test runs it
inside xvfb-run) and build/win64 for the 64-bit build's log.

Usage: tests/win32_suite.py [CASE ...]   (default: every case)
Ends with "N passed, N failed"; exit status 1 when a case failed.
"""
import os
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD32 = os.path.join(ROOT, "build", "win32-test")
BUILD64 = os.path.join(ROOT, "build", "win64")
WINE32 = "/usr/lib/wine/wine"
WINE64 = "/usr/lib/wine/wine64"
SHIM_SOURCE = os.path.join(ROOT, "tools", "qemu-trapno-shim.c")
SHIM_DIR = os.path.join(ROOT, "build", "qemu-shim")
STATE = os.path.join(BUILD32, "test-server")
SITES = os.path.join(BUILD32, "https-root")
FOLDERS = os.path.join(BUILD32, "blackbox")
RUN_TIMEOUT = 90


def read_settings(path):
    with open(path) as f:
        return dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)


SERVER = read_settings(os.path.join(BUILD32, "test-server.txt"))
with open(os.path.join(BUILD32, "runtime-files.txt")) as f:
    RUNTIME = [l.strip() for l in f if l.strip() and not l.startswith("#")]


def runtime_files(folder):
    return [e for e in RUNTIME if e.startswith(folder + "\\")]


def build_shim():
    """The LD_PRELOAD fix for qemu's trap numbers, for both ELF classes."""
    for lib, flag in (("i386-linux-gnu", "-m32"), ("x86_64-linux-gnu", "-m64")):
        out = os.path.join(SHIM_DIR, "lib", lib, "libqemu-trapno.so")
        if os.path.exists(out) and os.path.getmtime(out) >= os.path.getmtime(SHIM_SOURCE):
            continue
        os.makedirs(os.path.dirname(out), exist_ok=True)
        subprocess.run(["gcc", flag, "-O2", "-shared", "-fPIC", "-Wall", "-Wextra", "-Werror",
                        "-o", out, SHIM_SOURCE, "-ldl"], check=True)


class Prefix:
    def __init__(self, name, arch):
        self.path = os.path.join(ROOT, "build", name)
        self.arch = arch
        self.env = dict(os.environ, WINEPREFIX=self.path, WINEARCH=arch, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=",
                        LD_PRELOAD=os.path.join(SHIM_DIR, "$LIB", "libqemu-trapno.so"))

    def ensure(self):
        """Makes the prefix once; its time is reported."""
        if not os.path.exists(os.path.join(self.path, "system.reg")):
            start = time.time()
            shutil.rmtree(self.path, ignore_errors=True)
            subprocess.run([WINE32, "wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=600)
            # A crash ends the process instead of waiting in a dialog.
            subprocess.run([WINE32, "reg", "add", "HKCU\\Software\\Wine\\WineDbg", "/v",
                            "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0", "/f"], env=self.env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
            self.server("-w")
            print("made the %s prefix %s in %.0f s" % (self.arch, self.path, time.time() - start))
        self.server("-p")

    def server(self, *args):
        subprocess.run(["wineserver"] + list(args), env=self.env, stderr=subprocess.DEVNULL)

    def start(self, loader, program, args, cwd):
        return subprocess.Popen([loader, program] + args, cwd=cwd, env=self.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, loader, program, args, cwd):
        """Runs program in cwd; its exit code, or None after the time-out."""
        try:
            return subprocess.run([loader, program] + args, cwd=cwd, env=self.env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  timeout=RUN_TIMEOUT).returncode
        except subprocess.TimeoutExpired:
            # A message box nobody answers, say: end everything in the prefix.
            self.server("-k")
            self.server("-p")
            return None


def server(command):
    args = ["python3", os.path.join(ROOT, "tools", "https_server.py"), command,
            "--state-dir", STATE]
    if command == "start":
        args += ["--pki-dir", SERVER["pki_dir"], "--root", SITES, "--main-port", SERVER["port"],
                 "--mirror-prefix", SERVER["mirror_prefix"],
                 "--server-prefix", SERVER["server_prefix"], "--lifetime", "900"]
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)


def put_site_file(site, entry, data):
    path = os.path.join(SITES, site, *entry.split("\\"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def requests():
    """(method, target) of every request since the case began."""
    try:
        with open(os.path.join(STATE, "requests.log")) as f:
            return [tuple(l.split("\t")[1:3]) for l in f if l.count("\t") >= 3]
    except FileNotFoundError:
        return []


def write(path, data):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def game_folder(name):
    folder = os.path.join(FOLDERS, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


def install_runtime(folder, system, missing=()):
    for entry in runtime_files(system):
        if entry.split("\\")[1] in missing:
            continue
        path = os.path.join(folder, *entry.split("\\"))
        if entry.endswith("\\Game.exe"):
            os.makedirs(os.path.dirname(path), exist_ok=True)
            shutil.copy(os.path.join(BUILD32, "helpers", "fake_game.exe"), path)
        else:
            write(path, b"runtime library " + entry.encode())


def launch_record(folder, timeout=30):
    """The stand-in game's two lines (command line, directory), or None."""
    path = os.path.join(folder, "launch-record.txt")
    end = time.time() + timeout
    while time.time() < end:
        data = read(path)
        if data and data.endswith(b"\n"):
            return data.decode("utf-8").splitlines()
        time.sleep(0.1)
    return None


def windows_path(folder):
    return "Z:" + folder.replace("/", "\\")


def log_lines(folder):
    """velmora.log without the timestamps."""
    data = read(os.path.join(folder, "velmora.log")) or b""
    return [re.sub(rb"^(\[\w+\]) \d{4}-\d\d-\d\d \d\d:\d\d:\d\d - ", rb"\1 ", l)
            for l in data.split(b"\r\n") if l]


class Case:
    def __init__(self):
        self.fails = []

    def check(self, ok, what):
        if not ok:
            self.fails.append(what)
        return ok


def clear_sites():
    shutil.rmtree(SITES, ignore_errors=True)
    os.makedirs(os.path.join(SITES, "mirror"))
    os.makedirs(os.path.join(SITES, "server"))
    open(os.path.join(STATE, "requests.log"), "w").close()


def check_launched(case, folder, game):
    record = launch_record(folder)
    if case.check(record is not None and len(record) == 2, "the game was not started"):
        case.check(record[0].endswith(" startgame"), "game command line: %r" % record[0])
        case.check(game.lower() in record[0].lower(), "started %r, not %s" % (record[0], game))
        case.check(record[1].lower() == windows_path(folder).lower(),
                   "game directory %r" % record[1])


def case_wow64_launch_fetches(wow64, win32):
    """Launch run under WOW64: the one missing runtime file comes from the
    mirror over verified HTTPS into system64\\, then system64\\Game.exe starts.
    This build has no signing key: the exact request list shows that no
    .minisig is asked for."""
    case = Case()
    folder = game_folder("wow64-launch")
    install_runtime(folder, "system64", missing=("AudioMix.dll",))
    body = os.urandom(200000)
    put_site_file("mirror", "system64\\AudioMix.dll", body)
    rc = wow64.run(WINE32, os.path.join(BUILD32, "updater.exe"), [], folder)
    case.check(rc == 0, "exit code %r" % rc)
    case.check(read(os.path.join(folder, "system64", "AudioMix.dll")) == body,
               "system64\\AudioMix.dll is not the mirror's file")
    case.check(not os.path.exists(os.path.join(folder, "system32")), "system32\\ was made")
    check_launched(case, folder, "system64\\Game.exe")
    case.check(requests() == [("GET", SERVER["mirror_prefix"] + "system64/AudioMix.dll")],
               "requests: %r" % requests())
    return case


def case_wow64_two_launch_runs(wow64, win32):
    """Two launch runs started at once in one folder under WOW64: one fetches
    the missing file (slowly) and starts the game, the other leaves at once."""
    case = Case()
    folder = game_folder("wow64-two-launches")
    install_runtime(folder, "system64", missing=("AudioMix.dll",))
    body = os.urandom(300000)
    put_site_file("mirror", "system64\\AudioMix.dll", body)
    put_site_file("mirror", "system64\\AudioMix.dll.serve", b"chunk=20000&delay=0.15")  # 2 s
    runs = [wow64.start(WINE32, os.path.join(BUILD32, "updater.exe"), ["--log"], folder)
            for _ in range(2)]
    try:
        codes = [p.wait(timeout=RUN_TIMEOUT) for p in runs]
    except subprocess.TimeoutExpired:
        codes = None
        wow64.server("-k")
        wow64.server("-p")
    case.check(codes == [0, 0], "exit codes %r" % codes)
    case.check(read(os.path.join(folder, "system64", "AudioMix.dll")) == body,
               "system64\\AudioMix.dll is not the mirror's file")
    case.check(len(requests()) == 1, "requests: %r" % requests())
    check_launched(case, folder, "system64\\Game.exe")
    time.sleep(1)  # a second game would have written its lines by now
    record = read(os.path.join(folder, "launch-record.txt")) or b""
    case.check(record.count(b"\n") == 2, "the game was started %d times" % (record.count(b"\n") // 2))
    case.check(log_lines(folder).count(b"[INFO] Another updater is running in this folder") == 1,
               "no copy left at once")
    return case


def update_folder(name):
    """An update of three entries (one replacing, one nested, one unsafe), with
    one runtime file that only the main server has."""
    folder = game_folder(name)
    install_runtime(folder, "system64", missing=("Presence.dll",))
    write(os.path.join(folder, "download", "data", "maps", "a.map"), b"new map")
    write(os.path.join(folder, "download", "readme.txt"), b"new readme")
    write(os.path.join(folder, "readme.txt"), b"old readme")
    # The unsafe entry's source, download\..\escaped.txt; its target would be
    # beside the game folder.
    write(os.path.join(folder, "escaped.txt"), b"outside")
    if os.path.exists(os.path.join(FOLDERS, "escaped.txt")):
        os.remove(os.path.join(FOLDERS, "escaped.txt"))
    write(os.path.join(folder, "patchlist.txt"),
          b'"data\\maps\\a.map"\r\nreadme.txt\r\n..\\escaped.txt\r\n')
    write(os.path.join(folder, "patchlist.bat"), b"@echo off\r\n")
    return folder


def case_wow64_update_run(wow64, win32):
    """Update run under WOW64: files replaced and placed in new folders, the
    unsafe entry refused, patchlist.txt deleted, the missing runtime file
    taken from the main server after the mirror's 404, the game started; the
    log is line for line the 64-bit build's for the same run."""
    case = Case()
    put_site_file("server", "system64\\Presence.dll", b"presence from the server")
    folder = update_folder("wow64-update")
    rc = wow64.run(WINE32, os.path.join(BUILD32, "updater.exe"), ["update", "--log"], folder)
    case.check(rc == 0, "exit code %r" % rc)
    case.check(read(os.path.join(folder, "data", "maps", "a.map")) == b"new map", "a.map")
    case.check(read(os.path.join(folder, "readme.txt")) == b"new readme", "readme.txt")
    case.check(not os.path.exists(os.path.join(folder, "download", "readme.txt")),
               "download\\readme.txt is still there")
    case.check(not os.path.exists(os.path.join(FOLDERS, "escaped.txt")),
               "the unsafe entry reached outside the folder")
    case.check(not os.path.exists(os.path.join(folder, "patchlist.txt")), "patchlist.txt kept")
    case.check(not os.path.exists(os.path.join(folder, "patchlist.bat")), "patchlist.bat kept")
    case.check(read(os.path.join(folder, "system64", "Presence.dll")) ==
               b"presence from the server", "Presence.dll is not the server's file")
    check_launched(case, folder, "system64\\Game.exe")
    log32 = log_lines(folder)
    case.check(b"[ERROR] Refused unsafe path: ..\\escaped.txt" in log32,
               "no refusal in the log")
    case.check(requests() == [("GET", SERVER["mirror_prefix"] + "system64/Presence.dll"),
                              ("GET", SERVER["server_prefix"] + "system64/Presence.dll")],
               "requests: %r" % requests())

    # The same run of the x86_64 build, in the same prefix.
    folder64 = update_folder("wow64-update-x64")
    rc = wow64.run(WINE64, os.path.join(BUILD64, "updater.exe"), ["update", "--log"], folder64)
    case.check(rc == 0, "64-bit build: exit code %r" % rc)
    log64 = log_lines(folder64)
    if log32 != log64:
        diff = [(a, b) for a, b in zip(log32, log64) if a != b][:3]
        case.check(False, "the logs differ (%d and %d lines): %r" % (len(log32), len(log64), diff))
    return case


def case_win32_only_system32(wow64, win32):
    """Launch run on a 32-bit Windows: only system32\\ is looked at, fetched
    into and started from; no 64-bit file is asked for."""
    case = Case()
    folder = game_folder("win32-launch")
    install_runtime(folder, "system32", missing=("Crashlog.dll", "NetFetch.dll"))
    for entry in RUNTIME:
        put_site_file("mirror", entry, entry.encode())
    rc = win32.run(WINE32, os.path.join(BUILD32, "updater.exe"), ["--log"], folder)
    case.check(rc == 0, "exit code %r" % rc)
    for name in ("Crashlog.dll", "NetFetch.dll"):
        case.check(read(os.path.join(folder, "system32", name)) ==
                   ("system32\\" + name).encode(), "system32\\%s not fetched" % name)
    case.check(not os.path.exists(os.path.join(folder, "system64")), "system64\\ was made")
    check_launched(case, folder, "system32\\Game.exe")
    asked = [t for _, t in requests()]
    case.check(asked == [SERVER["mirror_prefix"] + "system32/Crashlog.dll",
                         SERVER["mirror_prefix"] + "system32/NetFetch.dll"],
               "requests: %r" % asked)
    log = b"\n".join(log_lines(folder))
    case.check(b"system64" not in log and b"-x64" not in log, "the log names 64-bit files")
    return case


CASES = [case_wow64_launch_fetches, case_wow64_two_launch_runs, case_wow64_update_run,
         case_win32_only_system32]


def main(argv):
    wanted = argv[1:]
    cases = [c for c in CASES if not wanted or c.__name__[5:] in wanted]
    try:
        subprocess.run([WINE32, "--version"], check=True, stdout=subprocess.DEVNULL)
    except OSError as e:
        print("win32 suite: cannot run the 32-bit Wine loader (%s): register qemu-i386 with "
              "binfmt_misc (tools/setup-binfmt, as root)" % e.strerror)
        return 1
    build_shim()
    start = time.time()
    wow64, win32 = Prefix("wine-wow64", "win64"), Prefix("wine-win32", "win32")
    for prefix in (wow64, win32):
        prefix.ensure()
    # One 32-bit process start: the stand-in game, which writes a line and ends.
    folder = game_folder("start")
    t = time.time()
    wow64.run(WINE32, os.path.join(BUILD32, "helpers", "fake_game.exe"), [], folder)
    print("one 32-bit start (WOW64): %.2f s" % (time.time() - t))
    os.makedirs(STATE, exist_ok=True)
    server("start")
    passed = failed = 0
    try:
        for c in cases:
            clear_sites()
            t = time.time()
            case = c(wow64, win32)
            took = time.time() - t
            if case.fails:
                failed += 1
                print("FAIL %s (%.1f s)" % (c.__name__[5:], took))
                for f in case.fails:
                    print("    " + f)
            else:
                passed += 1
                print("ok   %s (%.1f s)" % (c.__name__[5:], took))
    finally:
        server("stop")
        for prefix in (wow64, win32):
            prefix.server("-k")
    print("win32 suite took %.0f s" % (time.time() - start))
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
