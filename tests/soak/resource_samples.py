"""Resource samples of the running host from both sides of Wine, and the check that they stay
steady: /proc gives the Linux process's resident set and open descriptors, process_stats.exe
the Windows handle and GDI object counts and the working set.
"""

import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from host_session import REPO, TITLE, wine  # noqa: E402

# field: (label, allowed growth: absolute count, or a fraction when below 1)
LIMITS = {
    "handles": ("Windows handles", 5),
    "gdi": ("GDI objects (device contexts among them)", 5),
    "working_set_kib": ("working set, KiB", 0.10),
    "rss_kib": ("VmRSS, KiB", 0.10),
    "fds": ("open descriptors", 5),
}


def take_sample(scratch, pid, t, steps):
    """One sample; raises OSError or ValueError when a side cannot be read."""
    with open("/proc/%d/status" % pid, encoding="ascii") as f:
        status = dict(line.split(":", 1) for line in f)
    stats = os.environ.get("VESKARO_SOAK_STATS") or os.path.join(
        REPO, "build", "windows", "testbed", "tools", "process_stats.exe")
    code, out = wine(scratch, stats, TITLE)
    lines = [l for l in out.splitlines() if l.startswith("{")]
    if code != 0 or not lines:
        raise ValueError("process_stats.exe failed (%d): %s" % (code, out.strip()))
    windows = json.loads(lines[-1])
    return {"t": round(t), "steps": steps, "rss_kib": int(status["VmRSS"].split()[0]),
            "threads": int(status["Threads"]), "fds": len(os.listdir("/proc/%d/fd" % pid)),
            "handles": windows["handles"], "gdi": windows["gdi"], "user": windows["user"],
            "working_set_kib": windows["working_set"] // 1024}


def growth_violations(samples, warmup_s):
    """Compares the last sample with the first one taken after the warm-up; returns texts."""
    settled = [s for s in samples if s["t"] >= warmup_s]
    if len(settled) < 2:
        return ["too few samples after the %d s warm-up to judge growth (%d)" %
                (warmup_s, len(settled))]
    first, last = settled[0], settled[-1]
    violations = []
    for field, (label, limit) in LIMITS.items():
        allowed = first[field] * limit if limit < 1 else limit
        if last[field] - first[field] > allowed:
            violations.append("%s grew from %d (t=%d s) to %d (t=%d s), more than %d" %
                              (label, first[field], first["t"], last[field], last["t"], allowed))
        if limit >= 1 and first[field] - last[field] > allowed:
            violations.append("%s fell from %d to %d, more than %d" %
                              (label, first[field], last[field], allowed))
    return violations

