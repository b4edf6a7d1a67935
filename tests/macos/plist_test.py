#!/usr/bin/env python3
"""The helper's launchd property list, as the build makes it, read as
SMAppService and launchd read it: XML that parses, a label and a Mach service
named for the client's identifier, the helper inside the app bundle, and the
app it belongs to.

usage: plist_test.py PLIST CLIENT_ID
"""

import plistlib
import sys
import unittest

PLIST, CLIENT_ID = sys.argv[1], sys.argv[2]


class LaunchdPlist(unittest.TestCase):
    def test_the_job(self):
        with open(PLIST, "rb") as f:
            self.assertTrue(f.read().startswith(b"<?xml"))
        with open(PLIST, "rb") as f:
            job = plistlib.load(f, fmt=plistlib.FMT_XML)
        service = CLIENT_ID + ".helper"
        self.assertEqual(job, {
            "Label": service,
            "BundleProgram": "Contents/MacOS/lantern-wharf-helper",
            "MachServices": {service: True},
            "AssociatedBundleIdentifiers": [CLIENT_ID],
        })
        self.assertTrue(PLIST.endswith("/" + service + ".plist"))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
