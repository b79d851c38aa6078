#!/usr/bin/env bash
# bench/run.sh [--quick]: builds the benchmarks and prints every figure with
# its target, each comparison measured in the same run:
#   - image layout (refirm-image layout, no output and -o) against srec_cat's
#     fill to binary, objcopy's gap fill and cat, on a generated 24 MiB image
#     over the SX-T18 map;
#   - time per MiB at 6, 24 and 96 MiB; shuffled and overlapping records;
#   - host time per 1 KiB write and read-back in a whole upgrade of an instant
#     virtual scanner, and a run with a fixed latency per command against the
#     scanner's own busy time plus the fixed waits;
#   - peak resident memory of the layout and of a whole upgrade.
# --quick uses smaller images (6 MiB instead of 24, no 96 MiB).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
quick=0
[ "${1:-}" != --quick ] || quick=1

scripts/setup.sh libbenchmark-dev srecord binutils time
build=$top/build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DREFIRM_BENCH=ON -DREFIRM_BUILD_TESTS=OFF \
    -DREFIRM_GUI=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target refirm refirm-image refirm_layout_bench \
    refirm-bench-image >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
main=24
sizes="6 24 96"
if [ $quick = 1 ]; then
    main=6
    sizes="6 24"
fi
for n in $sizes; do "$build/refirm-bench-image" "$work/img$n.mot" "$n"; done
"$build/refirm-bench-image" "$work/shuffled.mot" "$main" shuffled
"$build/refirm-bench-image" "$work/overlapping.mot" "$main" overlapping
image=$work/img$main.mot

echo "== in-process reading and layout (Google Benchmark)"
"$build/refirm_layout_bench" --benchmark_filter="BM_(Load|LayOut|LayOutShuffled|LayOutOverlapping)/$main\$"

python3 - "$top" "$build" "$work" "$image" "$main" "$sizes" <<'EOF'
import os, subprocess, sys, time, resource

top, build, work, image, main, sizes = sys.argv[1:7]
sizes = [int(s) for s in sizes.split()]

def run(args, env=None, cwd=None):
    """Wall time and peak resident memory (KiB) of one run of a command."""
    start = time.perf_counter()
    with open(os.devnull, "wb") as null:
        p = subprocess.Popen(args, stdout=null, stderr=null, env=env, cwd=cwd)
        _, status, usage = os.wait4(p.pid, 0)
    elapsed = time.perf_counter() - start
    if status != 0:
        raise SystemExit(f"failed ({status}): {' '.join(args)}")
    return elapsed, usage.ru_maxrss

def best(args, times=3, **kw):
    results = [run(args, **kw) for _ in range(times)]
    return min(r[0] for r in results), max(r[1] for r in results)

def line(name, value, target, ok):
    print(f"{name:<58} {value:>14}   target {target:<22} {'ok' if ok else 'MISSED'}")

tool = f"{build}/refirm-image"
layout = lambda img, *more: [tool, "layout", img, "--product", "SX-T18", *more]
mib = os.path.getsize(image) / 2**20
print(f"== image layout: {image} ({mib:.1f} MiB of S-records, {main} MiB of data + 48 KiB)")
t_cat, _ = best(["sh", "-c", f"cat '{image}' > /dev/null"])
t_ours, rss_ours = best(layout(image))
t_ours_o, _ = best(layout(image, "-o", f"{work}/out.mot"))
t_srec, _ = best(["srec_cat", image, "-fill", "0xFF", "0x10000000", "0x11800000",
                  "-o", f"{work}/srec.bin", "-binary"], times=1)
t_srec_o, _ = best(["srec_cat", image, "-fill", "0xFF", "0x10000000", "0x11800000",
                    "-fill", "0xFF", "0x104000", "0x110000", "-o", f"{work}/srec.mot",
                    "-obs=32"], times=1)
t_objcopy, _ = best(["objcopy", "-I", "srec", "-O", "binary", "--gap-fill", "0xFF", image,
                     f"{work}/objcopy.bin"], times=1)
print(f"refirm-image layout {t_ours:.3f} s, with -o {t_ours_o:.3f} s; srec_cat {t_srec:.3f} s, "
      f"with S-record output {t_srec_o:.3f} s; objcopy {t_objcopy:.3f} s; cat {t_cat:.4f} s")
line("layout vs srec_cat fill to binary (x faster)", f"{t_srec / t_ours:.1f}x", ">= 10x",
     t_srec / t_ours >= 10)
line("layout vs objcopy --gap-fill (x faster)", f"{t_objcopy / t_ours:.1f}x", ">= 3x",
     t_objcopy / t_ours >= 3)
line("layout vs cat (x slower)", f"{t_ours / t_cat:.1f}x", "<= 20x", t_ours / t_cat <= 20)
line("layout -o vs srec_cat -obs=32 (x faster)", f"{t_srec_o / t_ours_o:.1f}x", ">= 5x",
     t_srec_o / t_ours_o >= 5)

print("== scaling")
per_mib = {}
for n in sizes:
    t, _ = best(layout(f"{work}/img{n}.mot"))
    per_mib[n] = t / n
    print(f"{n:>3} MiB: {t:.3f} s, {1000 * t / n:.2f} ms per MiB")
spread = max(per_mib.values()) / min(per_mib.values())
line("time per MiB, largest / smallest", f"{spread:.2f}", "<= 1.25", spread <= 1.25)
t_shuf, rss_shuf = best(layout(f"{work}/shuffled.mot"))
t_over, rss_over = best(layout(f"{work}/overlapping.mot"))
line("shuffled vs ordered, time", f"{t_shuf / t_ours:.2f}x", "<= 1.5x", t_shuf / t_ours <= 1.5)
line("shuffled vs ordered, memory", f"{rss_shuf / rss_ours:.2f}x", "<= 1.5x",
     rss_shuf / rss_ours <= 1.5)
line("overlapping vs ordered, time", f"{t_over / t_ours:.2f}x", "<= 1.5x", t_over / t_ours <= 1.5)
line("overlapping vs ordered, memory", f"{rss_over / rss_ours:.2f}x", "<= 1.5x",
     rss_over / rss_ours <= 1.5)
file_mib = os.path.getsize(image) / 2**20
line("layout peak memory (MiB)", f"{rss_ours / 1024:.0f}", f"<= {1.5 * file_mib + 16:.0f}",
     rss_ours / 1024 <= 1.5 * file_mib + 16)

print("== whole upgrades of a virtual SX-T18")
def upgrade(command_time, scale, trace=False, attempt=0):
    run_dir = f"{work}/run{command_time}_{scale}_{attempt}"
    os.makedirs(run_dir, exist_ok=True)
    with open(f"{top}/examples/scanners/YEW.ini") as f:
        profile = f.read()
    profile += f"CommandTime={command_time}\n"
    if trace:
        profile += "Trace=scanner.trace\n"
    with open(f"{run_dir}/YEW.ini", "w") as f:
        f.write(profile)
    with open(f"{run_dir}/refirm.ini", "w") as f:
        f.write("[Refirm]\r\nNewFirmwareVersion=1.23\r\n")
    env = {"PATH": os.environ["PATH"], "TMPDIR": run_dir, "REFIRM_UI": "console",
           "REFIRM_SIMULATE": f"{run_dir}/YEW.ini", "REFIRM_TIME_SCALE": str(scale),
           "XDG_CONFIG_HOME": run_dir}
    t, rss = run([f"{build}/refirm", image, "YEW", "silent_w_err"], env=env, cwd=run_dir)
    log = open(f"{run_dir}/Refirm.log", encoding="latin-1").read()
    if "Firmware upgrade completed." not in log:
        raise SystemExit(f"the upgrade did not complete:\n{log}")
    commands = 0
    if trace:
        commands = sum(1 for _ in open(f"{run_dir}/scanner.trace", encoding="latin-1"))
    return t, rss, commands

# The program's waits at a ten-thousandth of their length (a scale of 0 is no
# scale: the program takes it as 1, and waits of no length would time out).
# The best of three runs, as for the layouts; the most memory any of them took.
runs = [upgrade(0, 0.0001, attempt=a) for a in range(3)]
t_up, rss_up = min(r[0] for r in runs), max(r[1] for r in runs)
kib = (int(main) * 1024 + 48)
per_kib = 1e6 * t_up / kib
print(f"instant scanner, waits scaled by 0.0001: {t_up:.2f} s for {kib} KiB written and read back")
line("host time per 1 KiB write + read-back (us)", f"{per_kib:.1f}", "<= 30", per_kib <= 30)
line("upgrade peak memory (MiB)", f"{rss_up / 1024:.0f}", f"<= {1.5 * file_mib + 16:.0f}",
     rss_up / 1024 <= 1.5 * file_mib + 16)
EOF

# Latency: a small image, 1 ms a command, real waits.
"$build/refirm-bench-image" "$work/small.mot" 1
python3 - "$top" "$build" "$work" <<'EOF'
import os, subprocess, sys, time
top, build, work = sys.argv[1:4]
image = f"{work}/small.mot"
def upgrade(command_time):
    run_dir = f"{work}/latency{command_time}"
    os.makedirs(run_dir, exist_ok=True)
    with open(f"{top}/examples/scanners/YEW.ini") as f:
        profile = f.read() + f"CommandTime={command_time}\nTrace=scanner.trace\n"
    open(f"{run_dir}/YEW.ini", "w").write(profile)
    open(f"{run_dir}/refirm.ini", "w").write("[Refirm]\r\nNewFirmwareVersion=1.23\r\n")
    env = {"PATH": os.environ["PATH"], "TMPDIR": run_dir, "REFIRM_UI": "console",
           "REFIRM_SIMULATE": f"{run_dir}/YEW.ini", "XDG_CONFIG_HOME": run_dir}
    start = time.perf_counter()
    subprocess.run([f"{build}/refirm", image, "YEW", "silent_w_err"], env=env, cwd=run_dir,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    elapsed = time.perf_counter() - start
    commands = sum(1 for _ in open(f"{run_dir}/scanner.trace", encoding="latin-1"))
    return elapsed, commands
t0, _ = upgrade(0)   # the fixed waits (and the host's share)
t1, n = upgrade(1)   # 1 ms a command on top
busy = n * 0.001
ratio = t1 / (busy + t0)
print("== latency: 1 MiB image, 1 ms a command")
print(f"{n} commands: scanner busy {busy:.2f} s, fixed waits {t0:.2f} s, run {t1:.2f} s")
ok = ratio <= 1.03
print(f"{'run / (busy + fixed waits)':<58} {ratio:>14.3f}   target {'<= 1.03':<22} "
      f"{'ok' if ok else 'MISSED'}")
EOF
