#!/usr/bin/env python3
"""Breaks a process's resident memory down from /proc/PID/smaps: the libraries' pages,
the malloc arenas of its threads, their stacks, the rest of the anonymous memory; then
the largest libraries and the threads; given a file naming libraries (one path a line),
what those cost together.  Usage: memory_breakdown.py PID [LIBRARY_LIST]"""
import re, sys, os
pid = sys.argv[1]
regions = []
cur = None
for line in open(f"/proc/{pid}/smaps"):
    m = re.match(r"^([0-9a-f]+)-([0-9a-f]+) (\S+) \S+ \S+ \d+\s*(.*)$", line)
    if m:
        cur = dict(start=int(m[1], 16), end=int(m[2], 16), perms=m[3], name=m[4].strip(), rss=0, anon=0)
        regions.append(cur)
        continue
    k = line.split(':')[0]
    if k == 'Rss': cur['rss'] = int(line.split()[1])
    elif k == 'Anonymous': cur['anon'] = int(line.split()[1])
# glibc's thread arenas are heaps aligned to their 64 MiB reservation; a thread's stack
# follows a one-page guard.
ARENA = 64 << 20
cats = {}
def add(c, kib): cats[c] = cats.get(c, 0) + kib
files = {}
for i, r in enumerate(regions):
    n = r['name']
    if n and not n.startswith('['):
        files[os.path.basename(n)] = files.get(os.path.basename(n), 0) + r['rss'] - r['anon']
        add('file-backed', r['rss'] - r['anon'])
        add('anon in file maps (relocations, .bss)', r['anon'])
        continue
    if n == '[heap]': add('main heap [heap]', r['rss']); continue
    if n == '[stack]': add('main stack', r['rss']); continue
    if n.startswith('['): add(n, r['rss']); continue
    size = r['end'] - r['start']
    prev = regions[i - 1] if i else None
    if r['perms'].startswith('rw') and r['start'] % ARENA == 0 and size <= ARENA:
        add('thread malloc arenas', r['rss']); continue
    if r['perms'].startswith('rw') and prev and prev['perms'] == '---p' and prev['end'] == r['start'] and prev['end'] - prev['start'] == 4096 and size >= (1 << 20):
        add('thread stacks', r['rss']); continue
    add('other anonymous (mmap: big mallocs, SDL, X shm, …)', r['rss'])
for c, v in sorted(cats.items(), key=lambda x: -x[1]):
    if v < 50:
        continue
    print(f"    {c:52s} {v/1024:7.1f} MiB")
top = sorted(files.items(), key=lambda x: -x[1])[:12]
print("    largest file-backed: " + ", ".join(f"{k} {v/1024:.1f}" for k, v in top))
if len(sys.argv) > 2:
    listed = {os.path.basename(line.strip()) for line in open(sys.argv[2]) if line.strip()}
    mapped = [r for r in regions if r['name'] and os.path.basename(r['name']) in listed]
    total = sum(r['rss'] for r in mapped)
    relocated = sum(r['anon'] for r in mapped)
    count = len({r['name'] for r in mapped})
    print(f"    libraries only FFmpeg brings in: {count} mapped, {total/1024:.1f} MiB resident "
          f"({relocated/1024:.1f} MiB of it relocated data)")
threads = [open(f"/proc/{pid}/task/{t}/comm").read().strip() for t in os.listdir(f"/proc/{pid}/task")]
print("    threads: " + ", ".join(sorted(threads)))
