"""Prints the demo service's request log in a form a C++ test reads line by line.

For each request: "REQUEST <method> <target> <complete|cut>", one "HEADER <hex of
name: value>" per header, then "BODY <hex>".
"""

import base64
import json
import sys

with open(sys.argv[1], encoding="ascii") as log:
    for line in log:
        entry = json.loads(line)
        print("REQUEST", entry["method"], entry["target"].replace(" ", "%20"),
              "complete" if entry["body_complete"] else "cut")
        for name, value in entry["headers"]:
            print("HEADER", ("%s: %s" % (name, value)).encode("latin-1", "replace").hex())
        print("BODY", base64.b64decode(entry["body_b64"]).hex())
