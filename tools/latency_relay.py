#!/usr/bin/python3
"""latency_relay.py LISTEN TARGET DELAY_FILE: tools/bench's long line (no tc netem
here). Relays 127.0.0.1:LISTEN to :TARGET holding each direction's bytes, and the
connection a round trip, the seconds in DELAY_FILE (read at each connection)."""
import asyncio
import sys


async def pump(reader, writer, delay):
    """Each piece sent `delay` after it came, in order; then the end."""
    loop, queue = asyncio.get_running_loop(), asyncio.Queue()

    async def send():
        while (item := await queue.get())[1]:
            await asyncio.sleep(item[0] - loop.time())
            writer.write(item[1])
            await writer.drain()
        writer.close()

    sender = asyncio.ensure_future(send())
    try:
        while data := await reader.read(1 << 16):
            queue.put_nowait((loop.time() + delay, data))
    finally:
        queue.put_nowait((0, b""))
        await sender


async def relay(reader, writer):
    delay = float(open(sys.argv[3]).read() or 0)
    await asyncio.sleep(2 * delay)
    up_reader, up_writer = await asyncio.open_connection("127.0.0.1", int(sys.argv[2]))
    await asyncio.gather(pump(reader, up_writer, delay), pump(up_reader, writer, delay),
                         return_exceptions=True)


async def main():
    server = await asyncio.start_server(relay, "127.0.0.1", int(sys.argv[1]), reuse_address=True)
    print("listening", flush=True)
    await server.serve_forever()


asyncio.run(main())
