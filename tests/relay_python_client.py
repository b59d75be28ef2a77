#!/usr/bin/env python3
"""A relay client written against the Python "websockets" library rather than WebSocket++.

Usage: relay_python_client.py URL IP PORT BYTES REPLIES [TIMEOUT_S]

Sends one relay message {"ip", "port", "data"} (BYTES is a comma-separated list of numbers) and prints each reply
message exactly as received, one per line. Exits 0 after REPLIES replies, 2 when one does not come within the
timeout, 3 when the module is missing.
"""

import asyncio
import json
import sys

try:
    import websockets
except ImportError:
    sys.exit(3)


async def exchange(url, ip, port, data, replies, timeout):
    async with websockets.connect(url, open_timeout=timeout, close_timeout=timeout) as socket:
        await socket.send(json.dumps({"ip": ip, "port": port, "data": data}))
        for _ in range(replies):
            message = await asyncio.wait_for(socket.recv(), timeout)
            print(message, flush=True)


def main():
    if len(sys.argv) < 6:
        print(__doc__, file=sys.stderr)
        return 1
    url, ip, port, data, replies = sys.argv[1:6]
    timeout = float(sys.argv[6]) if len(sys.argv) > 6 else 5.0
    try:
        asyncio.run(exchange(url, ip, int(port), [int(b) for b in data.split(",")], int(replies), timeout))
    except asyncio.TimeoutError:
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
