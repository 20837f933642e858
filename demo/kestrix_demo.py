#!/usr/bin/env python3
"""Demo tournament service for the Kestrix Console. See demo/README.md."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from kxdemo.cli import main  # noqa: E402

if __name__ == "__main__":
    sys.exit(main())
