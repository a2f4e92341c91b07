#!/bin/sh
# Times ostrel-eval against a minimal driver on 2,000 generated val, fun and
# datatype declarations, for Poly ML and SML of New Jersey. The driver writes
# each declaration as ostrel-eval cuts it, followed by ";\n", and reads until
# the interpreter's prompt: the interpreter's own round trip and nothing else.
# Runs are interleaved so that a slow phase of the machine hits both alike;
# the figures are medians.
#
# usage: eval_bench.sh [OSTREL_EVAL [RUNS]]
set -eu
here=$(dirname "$0")
exec python3 - "${1:-$here/../build/src/cli/ostrel-eval}" "${2:-7}" <<'PYTHON'
import os, statistics, subprocess, sys, tempfile, time

tool, runs = sys.argv[1], int(sys.argv[2])
count = 2000

def declarations():
    for i in range(count):
        kind = i % 3
        if kind == 0:
            yield "val v%d = %d * 2\n" % (i, i)
        elif kind == 1:
            yield "fun f%d x = x + %d\n" % (i, i)
        else:
            yield "datatype t%d = A%d | B%d of int\n" % (i, i, i)

DRIVER = r'''
import os, sys
command, prompt, path = sys.argv[1].split(), sys.argv[2].encode(), sys.argv[3]
lines = open(path, encoding="utf-8").read().splitlines(keepends=True)
to_child_r, to_child_w = os.pipe()
from_child_r, from_child_w = os.pipe()
pid = os.fork()
if pid == 0:
    os.dup2(to_child_r, 0); os.dup2(from_child_w, 1); os.dup2(from_child_w, 2)
    os.execv(command[0], command)
os.close(to_child_r); os.close(from_child_w)
end = b"\n" + prompt
def wait_for_prompt():
    seen = b""
    while not seen.endswith(end):
        chunk = os.read(from_child_r, 65536)
        if not chunk:
            sys.exit("the interpreter ended")
        seen += chunk
wait_for_prompt()
for line in lines:
    os.write(to_child_w, (line + ";\n").encode())
    wait_for_prompt()
os.kill(pid, 9)
'''

def timed(argv, output):
    """Wall time, and the CPU time of the program itself (not of its interpreter, which it does not wait for)."""
    with open(output, "wb") as out, open(output + ".err", "wb") as err:
        start = time.perf_counter()
        child = subprocess.Popen(argv, stdout=out, stderr=err)
        _, status, usage = os.wait4(child.pid, 0)
        elapsed = time.perf_counter() - start
    with open(output, "rb") as out, open(output + ".err", "rb") as err:
        return elapsed, usage.ru_utime + usage.ru_stime, os.waitstatus_to_exitcode(status), out.read(), err.read()

with tempfile.TemporaryDirectory() as folder:
    source = os.path.join(folder, "bench.sml")
    with open(source, "w", encoding="utf-8") as f:
        f.writelines(declarations())
    driver = os.path.join(folder, "driver.py")
    with open(driver, "w") as f:
        f.write(DRIVER)

    output = os.path.join(folder, "output")

    print("%d declarations, %d interleaved runs each, medians" % (count, runs))
    for name, command, prompt in (("Poly ML", "/usr/bin/poly -i", "> "), ("SML/NJ", "/usr/bin/sml", "- ")):
        tool_times, driver_times, tool_cpu, driver_cpu = [], [], [], []
        for _ in range(runs):
            elapsed, cpu, code, _, err = timed([sys.executable, driver, command, prompt, source], output)
            if code != 0:
                sys.exit("driver failed: %s" % err.decode())
            driver_times.append(elapsed)
            driver_cpu.append(cpu)
            elapsed, cpu, code, out, err = timed([tool, "--json", "--interpreter", command.split()[0], source], output)
            answers = out.count(b'"status":"accepted"')
            if code != 0 or answers != count:
                sys.exit("ostrel-eval failed (%d, %d accepted): %s" % (code, answers, err.decode()))
            tool_times.append(elapsed)
            tool_cpu.append(cpu)
        t, d = statistics.median(tool_times), statistics.median(driver_times)
        pairs = statistics.median(a / b for a, b in zip(tool_times, driver_times))
        print("%s\n  driver      %7.1f ms  %.3f ms/decl  own CPU %.3f ms/decl\n"
              "  ostrel-eval %7.1f ms  %.3f ms/decl  own CPU %.3f ms/decl\n"
              "  ratio %.3f (of medians), %.3f (median of interleaved pairs); target <= 1.15"
              % (name, d * 1e3, d * 1e3 / count, statistics.median(driver_cpu) * 1e3 / count,
                 t * 1e3, t * 1e3 / count, statistics.median(tool_cpu) * 1e3 / count, t / d, pairs))
PYTHON
