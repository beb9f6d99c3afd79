#!/usr/bin/env python3
"""Times setup.exe under Wine against plain baselines and a peer, traces where its time goes
and writes docs/benchmarks.md. Run it through scripts/bench.sh, which builds first.

The parts meet in build/bench/results.json: bench_measure.py times (and sizes), bench_trace.py
adds the relay traces, bench_report.py writes the page. Here they share one set of prefixes."""
import argparse
import sys
from pathlib import Path

import bench_common
import bench_measure
import bench_report
import bench_trace
from bench_common import OUT, RESULTS, Bench, say


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    bench_measure.add_arguments(parser)
    parser.add_argument("--out", type=Path, default=OUT)
    parser.add_argument("--report-only", action="store_true",
                        help="write the report again from the last run's results.json")
    args = parser.parse_args()
    if args.report_only:
        data = bench_common.load_results()
        if "phases" not in data:
            say(f"bench: {RESULTS} holds no whole run")
            return 1
        bench_report.write(data, args.out)
        return 0
    problem = bench_measure.start(args)
    if problem:
        say(f"bench: {problem}")
        return 1

    bench = Bench()
    try:
        say(f"bench: prefixes in {bench_common.WORK}")
        decided, fresh, folders = bench.common()
        data = bench_measure.measure(args, bench, decided, fresh, folders)
        bench_common.save_results(data)
        bench_trace.add_to(data, bench_trace.trace(args.scale, decided, fresh, folders))
    finally:
        bench.close()
    bench_common.save_results(data)
    bench_report.write(data, args.out)
    if not args.keep:
        bench.remove()
    say(f"bench: {args.out} written in {sum(data['seconds'].values()):.0f} s")
    say(args.out.read_text(encoding="utf-8").split("## The comparisons")[0])
    return 0


if __name__ == "__main__":
    sys.exit(main())
