#!/usr/bin/python3
"""Stands between the program and the simulator, and watches the program's
window on the X display, to tell what one poll of a running measurement costs.

It forwards the command port (LISTEN_PORT to the simulator's UNIT_PORT) and
notes when each reply to "DATA?" passes on to the program. Once asked to
measure (a line "measure PROGRAM_PID XVFB_PID WINDOW SECONDS" on standard
input), it counts the polls for SECONDS, takes the processor time the program
and the X server spent meanwhile (/proc), and times each reply to the next
change of the window's plot area on the screen (an X DAMAGE rectangle at least
MIN_HEIGHT pixels high: the status line and the buttons are lower). Prints one
line of figures, "measured ...", and goes on forwarding until standard input
ends.

Usage: redraw_probe.py LISTEN_PORT UNIT_PORT [MIN_HEIGHT]
"""
import ctypes
import os
import select
import socket
import sys
import time

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    # utime and stime: fields 14 and 15 of the whole line.
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


class Damage:
    """DAMAGE rectangles of one X window, through libX11 and libXdamage."""

    REPORT_RAW_RECTANGLES = 0

    class Event(ctypes.Structure):
        # XDamageNotifyEvent, padded to the size of an XEvent.
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("drawable", ctypes.c_ulong), ("damage", ctypes.c_ulong),
                    ("level", ctypes.c_int), ("more", ctypes.c_int), ("timestamp", ctypes.c_ulong),
                    ("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                    ("height", ctypes.c_ushort), ("pad", ctypes.c_long * 24)]

    def __init__(self, window):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xdamage = ctypes.CDLL("libXdamage.so.1")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        for name in ("XPending", "XConnectionNumber", "XFlush"):
            getattr(self.x11, name).argtypes = [ctypes.c_void_p]
        self.x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        self.xdamage.XDamageQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                                       ctypes.POINTER(ctypes.c_int)]
        self.xdamage.XDamageCreate.restype = ctypes.c_ulong
        self.xdamage.XDamageCreate.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int]
        self.display = self.x11.XOpenDisplay(None)
        if not self.display:
            raise SystemExit("redraw_probe: cannot open the display")
        event_base, error_base = ctypes.c_int(), ctypes.c_int()
        if not self.xdamage.XDamageQueryExtension(self.display, ctypes.byref(event_base), ctypes.byref(error_base)):
            raise SystemExit("redraw_probe: the X server has no DAMAGE extension")
        self.notify = event_base.value
        self.xdamage.XDamageCreate(self.display, window, self.REPORT_RAW_RECTANGLES)
        self.x11.XFlush(self.display)
        self.fd = self.x11.XConnectionNumber(self.display)

    def rectangles(self):
        """The heights of the rectangles reported since the last call."""
        event = self.Event()
        heights = []
        while self.x11.XPending(self.display):
            self.x11.XNextEvent(self.display, ctypes.byref(event))
            if event.type == self.notify:
                heights.append(event.height)
        return heights


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))] if ordered else float("nan")


def main():
    listen_port, unit_port = int(sys.argv[1]), int(sys.argv[2])
    min_height = int(sys.argv[3]) if len(sys.argv) > 3 else 100
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", listen_port))
    server.listen()
    print("listening", flush=True)
    peers = {}            # socket -> the socket it forwards to
    program_side = set()  # the sockets that lead to the program
    data_asked = 0        # DATA? commands forwarded, whose replies are still to come
    damage = None
    measuring = None      # [end time, program pid, xvfb pid, cpu at start, polls, unshown reply times, latencies]
    stdin_open = True
    while stdin_open or peers:
        watched = [server] + list(peers) + ([sys.stdin] if stdin_open else []) + ([damage.fd] if damage else [])
        timeout = 0.05 if measuring else None
        ready, _, _ = select.select(watched, [], [], timeout)
        now = time.monotonic()
        for source in ready:
            if source is server:
                program, _ = server.accept()
                unit = socket.create_connection(("127.0.0.1", unit_port))
                for end in (program, unit):
                    end.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
                peers[program], peers[unit] = unit, program
                program_side.add(program)
            elif source is sys.stdin:
                line = sys.stdin.readline()
                if not line:
                    stdin_open = False
                    continue
                words = line.split()
                if words and words[0] == "measure":
                    program_pid, xvfb_pid, window, seconds = int(words[1]), int(words[2]), int(words[3], 0), float(words[4])
                    damage = Damage(window)
                    damage.rectangles()
                    measuring = [now + seconds, program_pid, xvfb_pid,
                                 (cpu_seconds(program_pid), cpu_seconds(xvfb_pid), now), 0, [], []]
            elif damage and source == damage.fd:
                shown = [height for height in damage.rectangles() if height >= min_height]
                if shown and measuring:
                    measuring[6].extend(now - reply for reply in measuring[5])
                    measuring[5].clear()
            else:
                chunk = source.recv(65536)
                other = peers[source]
                if not chunk:
                    for end in (source, other):
                        end.close()
                        peers.pop(end, None)
                        program_side.discard(end)
                    continue
                other.sendall(chunk)
                if source in program_side:
                    data_asked += chunk.count(b"DATA?")
                elif data_asked:
                    data_asked -= 1
                    if measuring:
                        measuring[4] += 1
                        measuring[5].append(now)
        if measuring and now >= measuring[0]:
            end, program_pid, xvfb_pid, (program_cpu, xvfb_cpu, start), polls, _, latencies = measuring
            seconds = now - start
            program_ms = (cpu_seconds(program_pid) - program_cpu) * 1000
            xvfb_ms = (cpu_seconds(xvfb_pid) - xvfb_cpu) * 1000
            print("measured seconds %.2f polls %d per_second %.2f program_cpu_ms %.0f per_poll_ms %.3f "
                  "xvfb_per_poll_ms %.3f latency_ms_median %.1f p95 %.1f max %.1f shown %d"
                  % (seconds, polls, polls / seconds, program_ms, program_ms / max(polls, 1),
                     xvfb_ms / max(polls, 1), 1000 * percentile(latencies, 0.5), 1000 * percentile(latencies, 0.95),
                     1000 * max(latencies, default=float("nan")), len(latencies)), flush=True)
            measuring = None
    return 0


if __name__ == "__main__":
    sys.exit(main())
