#!/usr/bin/env python3
"""A TCP proxy that holds back every chunk it passes for a fixed delay, each way: a database
server "across the network" on this machine.

    bench/latency_proxy.py [--delay-ms 0.5] [--listen 127.0.0.1:15432] [--target 127.0.0.1:5432]

A delay of 0.5 ms each way adds a 1 ms round trip. Order is kept per direction and chunks that
are in flight overlap, so the link adds latency, not a bandwidth limit. Threads with blocking
sockets rather than an event loop: the loops' timers (asyncio's epoll wait, Qt's timers) round
to whole milliseconds, which would turn 0.5 ms into 1. Each writer learns how late its sleeps
wake, sleeps that much less and waits out the rest, so nothing leaves early; waking up on a busy
machine still adds a little (import_bench prints the round trip it measures). On SIGTERM or
Ctrl-C it prints how many chunks went each way and stops.
"""

import argparse
import queue
import signal
import socket
import sys
import threading
import time


def address(text):
    host, _, port = text.rpartition(":")
    return host or "127.0.0.1", int(port)


class Counts:
    def __init__(self):
        self.lock = threading.Lock()
        self.up = 0
        self.down = 0

    def add(self, upward):
        with self.lock:
            if upward:
                self.up += 1
            else:
                self.down += 1


def relay(source, sink, delay, counts, upward):
    """Reads from source; a second thread writes each chunk to sink once its delay is over."""
    chunks = queue.SimpleQueue()

    def write():
        # How late a sleep wakes (timer slack, a busy machine), learnt as it goes and slept less.
        late = 0.0
        while True:
            due, data = chunks.get()
            if data is None:
                break
            wait = due - time.perf_counter() - late
            if wait > 0:
                time.sleep(wait)
                late = 0.9 * late + 0.1 * (time.perf_counter() - due + late)
            while time.perf_counter() < due:  # the rest, never early
                pass
            try:
                sink.sendall(data)
            except OSError:
                break
        try:
            sink.shutdown(socket.SHUT_WR)
        except OSError:
            pass

    writer = threading.Thread(target=write, daemon=True)
    writer.start()
    while True:
        try:
            data = source.recv(1 << 16)
        except OSError:
            data = b""
        if not data:
            break
        counts.add(upward)
        chunks.put((time.perf_counter() + delay, data))
    chunks.put((0, None))
    writer.join()


def serve(client, target, delay, counts):
    try:
        server = socket.create_connection(target)
    except OSError as error:
        print(f"latency_proxy: cannot reach {target}: {error}", file=sys.stderr)
        client.close()
        return
    for s in (client, server):
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    down = threading.Thread(target=relay, args=(server, client, delay, counts, False), daemon=True)
    down.start()
    relay(client, server, delay, counts, True)
    down.join()
    client.close()
    server.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--delay-ms", type=float, default=0.5, help="delay each way (default 0.5)")
    parser.add_argument("--listen", type=address, default=("127.0.0.1", 15432))
    parser.add_argument("--target", type=address, default=("127.0.0.1", 5432))
    options = parser.parse_args()
    counts = Counts()

    def stop(*_):
        print(f"latency_proxy: {counts.up} chunks to the server, {counts.down} back", flush=True)
        sys.exit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    listener = socket.create_server(options.listen)
    print(f"latency_proxy: {options.listen[0]}:{options.listen[1]} -> {options.target[0]}:{options.target[1]}, "
          f"{options.delay_ms} ms each way", flush=True)
    while True:
        client, _ = listener.accept()
        threading.Thread(target=serve, args=(client, options.target, options.delay_ms / 1000, counts),
                         daemon=True).start()


if __name__ == "__main__":
    main()
