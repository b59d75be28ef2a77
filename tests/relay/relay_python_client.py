#!/usr/bin/env python3
"""A relay client written against the Python "websockets" library rather than WebSocket++.

Usage: relay_python_client.py [--origin ORIGIN] URL IP PORT BYTES REPLIES [TIMEOUT_S]

Sends one relay message {"ip", "port", "data"} (BYTES is a comma-separated list of numbers) and prints each reply
message exactly as received, one per line. With --origin the handshake carries that Origin header, as a browser's
does. Exits 0 after REPLIES replies, 2 when one does not come within the timeout, 3 when the module is missing, 4 when
the relay refuses the handshake (after printing "refused: HTTP <status>").
"""

import asyncio
import json
import sys

try:
    import websockets
    from websockets.exceptions import InvalidHandshake
except ImportError:
    sys.exit(3)


async def exchange(url, origin, ip, port, data, replies, timeout):
    async with websockets.connect(url, origin=origin, open_timeout=timeout, close_timeout=timeout) as socket:
        await socket.send(json.dumps({"ip": ip, "port": port, "data": data}))
        for _ in range(replies):
            message = await asyncio.wait_for(socket.recv(), timeout)
            print(message, flush=True)


def refused_status(error):
    """The HTTP status of a refused handshake, or None: websockets 14 and later tell it in the error's response."""
    response = getattr(error, "response", None)
    return getattr(response, "status_code", None) or getattr(error, "status_code", None)


def main():
    args = sys.argv[1:]
    origin = None
    if len(args) >= 2 and args[0] == "--origin":
        origin, args = args[1], args[2:]
    if len(args) < 5:
        print(__doc__, file=sys.stderr)
        return 1
    url, ip, port, data, replies = args[0:5]
    timeout = float(args[5]) if len(args) > 5 else 5.0
    try:
        asyncio.run(exchange(url, origin, ip, int(port), [int(b) for b in data.split(",")], int(replies), timeout))
    except asyncio.TimeoutError:
        return 2
    except InvalidHandshake as refusal:
        status = refused_status(refusal)
        if status is None:
            raise
        print("refused: HTTP %d" % status, flush=True)
        return 4
    return 0


if __name__ == "__main__":
    sys.exit(main())
