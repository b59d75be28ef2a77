#!/usr/bin/env python3
"""One obs-websocket (protocol 5) request, without authentication, through the Python "websockets" library.

Usage: obs_request.py URL REQUEST_TYPE [REQUEST_DATA_JSON] [TIMEOUT_S]

Prints the response's "responseData" as JSON and, on standard error, how long the request took in milliseconds
("took N ms"). Exits 0 when the request succeeded, 1 when OBS reported a failure, 2 on a timeout, 3 when the module
is missing.
"""

import asyncio
import json
import sys
import time

try:
    import websockets
except ImportError:
    sys.exit(3)

HELLO, IDENTIFY, IDENTIFIED, REQUEST, REQUEST_RESPONSE = 0, 1, 2, 6, 7


async def receive(socket, opcode, timeout):
    while True:
        message = json.loads(await asyncio.wait_for(socket.recv(), timeout))
        if message.get("op") == opcode:
            return message["d"]


async def request(url, request_type, data, timeout):
    async with websockets.connect(url, open_timeout=timeout, close_timeout=timeout) as socket:
        await receive(socket, HELLO, timeout)
        await socket.send(json.dumps({"op": IDENTIFY, "d": {"rpcVersion": 1, "eventSubscriptions": 0}}))
        await receive(socket, IDENTIFIED, timeout)
        started = time.monotonic()
        body = {"requestType": request_type, "requestId": "1"}
        if data is not None:
            body["requestData"] = data
        await socket.send(json.dumps({"op": REQUEST, "d": body}))
        response = await receive(socket, REQUEST_RESPONSE, timeout)
        print("took %.1f ms" % ((time.monotonic() - started) * 1000), file=sys.stderr)
        print(json.dumps(response.get("responseData", {})), flush=True)
        return response["requestStatus"]["result"]


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 1
    url, request_type = sys.argv[1:3]
    data = json.loads(sys.argv[3]) if len(sys.argv) > 3 and sys.argv[3] else None
    timeout = float(sys.argv[4]) if len(sys.argv) > 4 else 10.0
    try:
        ok = asyncio.run(request(url, request_type, data, timeout))
    except (asyncio.TimeoutError, OSError):
        return 2
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
