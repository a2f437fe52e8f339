#!/usr/bin/env python3
"""An HTTP proxy for the proxy tests (asyncio, 127.0.0.1 only).

Usage: connect_proxy.py start|stop STATE_DIR
Listeners, their ports in STATE_DIR/ports.txt ("name=port" lines):
  open  tunnels every CONNECT      deny  answers 403
  auth  answers 407 (Negotiate, NTLM) and never accepts
  pac   plain HTTP: any GET gets a proxy script naming "open"
  down  a bound port nobody listens on
Each request to open, deny or auth appends "name TAB target" to
STATE_DIR/tunnels.log.
"""
import asyncio
import os
import signal
import socket
import sys
import time


async def pipe(reader, writer):
    try:
        while data := await reader.read(1 << 16):
            writer.write(data)
            await writer.drain()
    except OSError:
        pass
    finally:
        writer.close()


async def handle(name, state, ports, reader, writer):
    try:
        method, target = (await reader.readuntil(b"\r\n\r\n")).split(b" ")[:2]
    except (asyncio.IncompleteReadError, asyncio.LimitOverrunError, OSError, ValueError):
        return writer.close()
    if name == "pac":
        body = b'function FindProxyForURL(u, h) { return "PROXY 127.0.0.1:%d"; }' % ports["open"]
        reply = b"200 OK\r\nContent-Length: %d\r\n\r\n%s" % (len(body), body)
    else:
        with open(os.path.join(state, "tunnels.log"), "ab") as log:
            log.write(b"%s\t%s\n" % (name.encode(), target))
        reply = (b"407 Proxy Authentication Required\r\nProxy-Authenticate: Negotiate\r\n"
                 b"Proxy-Authenticate: NTLM\r\nContent-Length: 0\r\n\r\n" if name == "auth" else
                 b"403 Forbidden\r\nContent-Length: 0\r\n\r\n")
        if name == "open" and method == b"CONNECT":
            host, port = target.rsplit(b":", 1)
            up_reader, up_writer = await asyncio.open_connection(host.decode(), int(port))
            writer.write(b"HTTP/1.1 200 Connection established\r\n\r\n")
            return await asyncio.gather(pipe(reader, up_writer), pipe(up_reader, writer))
    writer.write(b"HTTP/1.1 " + reply)
    await writer.drain()
    writer.close()


async def serve(state):
    ports, servers = {}, []
    for name in ("open", "deny", "auth", "pac"):
        server = await asyncio.start_server(
            lambda r, w, n=name: handle(n, state, ports, r, w), "127.0.0.1", 0)
        ports[name] = server.sockets[0].getsockname()[1]
        servers.append(server)
    down = socket.socket()
    down.bind(("127.0.0.1", 0))
    ports["down"] = down.getsockname()[1]
    with open(os.path.join(state, "ports.txt.tmp"), "w") as f:
        f.write("".join("%s=%d\n" % item for item in ports.items()))
    os.replace(os.path.join(state, "ports.txt.tmp"), os.path.join(state, "ports.txt"))
    await asyncio.sleep(1800)  # a proxy left behind ends by itself


def main(command, state):
    pid_file = os.path.join(state, "proxy.pid")
    if command == "stop":
        if os.path.exists(pid_file):
            try:
                os.kill(int(open(pid_file).read()), signal.SIGTERM)
            except (OSError, ValueError):
                pass
            os.remove(pid_file)
        return 0
    main("stop", state)
    os.makedirs(state, exist_ok=True)
    for old in ("ports.txt", "tunnels.log"):
        if os.path.exists(os.path.join(state, old)):
            os.remove(os.path.join(state, old))
    if os.fork() == 0:
        os.setsid()
        with open(pid_file, "w") as f:
            f.write(str(os.getpid()))
        devnull = os.open(os.devnull, os.O_RDWR)
        for fd in (0, 1, 2):
            os.dup2(devnull, fd)
        asyncio.run(serve(state))
        os._exit(0)
    for _ in range(100):
        if os.path.exists(os.path.join(state, "ports.txt")):
            return 0
        time.sleep(0.1)
    return 1


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
