#!/usr/bin/env python3
"""An HTTP proxy for the proxy tests, on 127.0.0.1: connect_proxy.py start|stop DIR.
Listeners (DIR/ports.txt, "name=port" lines): open tunnels every CONNECT, deny
answers 403, auth answers 407 (Negotiate, NTLM) and never accepts. Each request
appends "name TAB target" to DIR/tunnels.log."""
import asyncio, os, socket, subprocess, sys

REFUSALS = {"deny": b"403 Forbidden\r\n", "auth": b"407 Proxy Authentication Required\r\n"
            b"Proxy-Authenticate: Negotiate\r\nProxy-Authenticate: NTLM\r\n"}


async def pipe(reader, writer):
    try:
        while data := await reader.read(1 << 16):
            writer.write(data)
            await writer.drain()
    except OSError:
        pass
    writer.close()


async def handle(name, state, reader, writer):
    try:
        method, target = (await reader.readuntil(b"\r\n\r\n")).split(b" ")[:2]
        with open(os.path.join(state, "tunnels.log"), "ab") as log:
            log.write(b"%s\t%s\n" % (name.encode(), target))
        if name == "open" and method == b"CONNECT":
            host, port = target.rsplit(b":", 1)
            up_reader, up_writer = await asyncio.open_connection(host.decode(), int(port))
            writer.write(b"HTTP/1.1 200 Connection established\r\n\r\n")
            return await asyncio.gather(pipe(reader, up_writer), pipe(up_reader, writer))
        writer.write(b"HTTP/1.1 " + REFUSALS.get(name, REFUSALS["deny"]) + b"Content-Length: 0\r\n\r\n")
        await writer.drain()
    except (asyncio.IncompleteReadError, asyncio.LimitOverrunError, OSError, ValueError):
        pass
    writer.close()


async def serve(state, sockets):
    for name, sock in sockets.items():
        await asyncio.start_server(lambda r, w, n=name: handle(n, state, r, w), sock=sock)
    await asyncio.sleep(1800)  # a proxy left behind ends by itself


def main(command, state):
    pid_file = os.path.join(state, "proxy.pid")
    if os.path.exists(pid_file):
        subprocess.run(["kill", open(pid_file).read()], stderr=subprocess.DEVNULL)
        os.remove(pid_file)
    if command == "stop":
        return
    os.makedirs(state, exist_ok=True)
    open(os.path.join(state, "tunnels.log"), "w").close()
    sockets = {name: socket.create_server(("127.0.0.1", 0)) for name in ("open", "deny", "auth")}
    with open(os.path.join(state, "ports.txt"), "w") as f:
        f.write("".join("%s=%d\n" % (n, s.getsockname()[1]) for n, s in sockets.items()))
    if pid := os.fork():
        return open(pid_file, "w").write(str(pid))
    os.setsid()
    os.dup2(os.open(os.devnull, os.O_RDWR), 1)
    os.dup2(1, 2)
    asyncio.run(serve(state, sockets))


if __name__ == "__main__":
    main(*sys.argv[1:])
