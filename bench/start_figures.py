#!/usr/bin/env python3
"""Start to first frame of veskaro_flutter.exe against start to first paint of the floor
program, under the rig's Wine: the time from launch until X shows the program's window
viewable (the host shows its window on the engine's first frame). Medians of N runs.

  start_figures.py HOST_FOLDER FLOOR_EXE [RUNS]      (inside scripts/rig/with-rig)
"""

import os
import signal
import statistics
import subprocess
import sys
import time

WINE_EXEC = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts", "rig",
                         "wine-exec")


def viewable(title):
    done = subprocess.run(["xwininfo", "-name", title], capture_output=True, text=True,
                          check=False)
    return "IsViewable" in done.stdout


def start_time(folder, program, title):
    """Seconds from launch until the window is viewable; the program is then stopped."""
    start = time.monotonic()
    process = subprocess.Popen([WINE_EXEC, program], cwd=folder, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               start_new_session=True)
    try:
        while not viewable(title):
            if process.poll() is not None or time.monotonic() - start > 30:
                raise RuntimeError("%s showed no window (exit code %s)" %
                                   (program, process.poll()))
            time.sleep(0.005)
        return time.monotonic() - start
    finally:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        while viewable(title):
            time.sleep(0.01)


def main(argv):
    host_folder, floor_exe = argv[1], os.path.abspath(argv[2])
    runs = int(argv[3]) if len(argv) > 3 else 10
    # One warm-up each: the first Wine launch after the rig starts loads its own DLLs.
    start_time(host_folder, "veskaro_flutter.exe", "veskaro_flutter")
    start_time(os.path.dirname(floor_exe), os.path.basename(floor_exe), "window_floor")
    host, floor = [], []
    for _ in range(runs):
        host.append(start_time(host_folder, "veskaro_flutter.exe", "veskaro_flutter"))
        floor.append(start_time(os.path.dirname(floor_exe), os.path.basename(floor_exe),
                                "window_floor"))
    host_ms, floor_ms = statistics.median(host) * 1000, statistics.median(floor) * 1000
    print("| start, median of %d | %.0f ms | %.0f ms | %.2fx | at most 1.5x |" %
          (runs, host_ms, floor_ms, host_ms / floor_ms))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
