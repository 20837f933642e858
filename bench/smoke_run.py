"""Runs one benchmark briefly for CTest: passes when the command exits with 0
and its output has the line a finished run ends with.

    smoke_run.py REGEX -- COMMAND [ARGUMENT...]
"""

import re
import subprocess
import sys


def main():
    if len(sys.argv) < 4 or sys.argv[2] != "--":
        sys.exit(__doc__)
    expected = re.compile(sys.argv[1], re.MULTILINE)
    run = subprocess.run(sys.argv[3:], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                         errors="replace")
    sys.stdout.write(run.stdout)
    if run.returncode != 0:
        sys.exit("the benchmark ended with %d" % run.returncode)
    if not expected.search(run.stdout):
        sys.exit("the benchmark's output lacks /%s/" % sys.argv[1])


if __name__ == "__main__":
    main()
