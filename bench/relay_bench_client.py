#!/usr/bin/env python3
"""A relay client on Debian's python3-websockets, as button panels and show controllers drive cameras.

Usage: relay_bench_client.py URL IP PORT COMMANDS WARM_UP

Sends the pan-tilt home command COMMANDS times, each awaiting its acknowledge and its completion before the next,
after WARM_UP untimed commands. Prints one JSON line: {"client", "commands", "seconds", "medianUs"}.
Exits 2 when a reply does not come within two seconds, 3 when the module is missing.
"""

import asyncio
import json
import statistics
import sys
import time

try:
    import websockets
except ImportError:
    sys.exit(3)

REPLY_TIMEOUT_S = 2.0


def home_command(serial):
    nibbles = [(serial >> shift) & 0xF for shift in (12, 8, 4, 0)]
    return [1, 0, 0, 5] + nibbles + [0x81, 0x01, 0x06, 0x04, 0xFF]


async def command_pair(socket, ip, port, serial):
    await socket.send(json.dumps({"ip": ip, "port": port, "data": home_command(serial)}))
    for _ in range(2):
        await asyncio.wait_for(socket.recv(), REPLY_TIMEOUT_S)


async def run(url, ip, port, commands, warm_up):
    async with websockets.connect(url, open_timeout=REPLY_TIMEOUT_S, close_timeout=REPLY_TIMEOUT_S) as socket:
        for serial in range(warm_up):
            await command_pair(socket, ip, port, serial)
        samples = []
        started = time.perf_counter()
        for serial in range(warm_up, warm_up + commands):
            before = time.perf_counter()
            await command_pair(socket, ip, port, serial & 0xFFFF)
            samples.append((time.perf_counter() - before) * 1e6)
        seconds = time.perf_counter() - started
    return {
        "client": "python3-websockets " + websockets.__version__,
        "commands": commands,
        "seconds": seconds,
        "medianUs": statistics.median(samples),
    }


def main():
    if len(sys.argv) != 6:
        print(__doc__, file=sys.stderr)
        return 1
    url, ip, port, commands, warm_up = sys.argv[1:6]
    try:
        result = asyncio.run(run(url, ip, int(port), int(commands), int(warm_up)))
    except asyncio.TimeoutError:
        return 2
    print(json.dumps(result), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
