#!/usr/bin/env python3
"""scripts/check-deps.py on made-up trees: forbidden includes and links are
reported with file and line, allowed ones are not.

    check_deps_test.py PATH/TO/check-deps.py
"""

import pathlib
import subprocess
import sys
import tempfile
import textwrap
import unittest

SCRIPT = None


def write(root, path, text):
    file = root / path
    file.parent.mkdir(parents=True, exist_ok=True)
    file.write_text(textwrap.dedent(text).lstrip())


def run(root, *flags):
    done = subprocess.run([sys.executable, SCRIPT, "--root", str(root), *flags],
                          capture_output=True, text=True, timeout=30)
    return done.returncode, done.stdout.splitlines()


class CheckDeps(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = pathlib.Path(self.tmp.name)
        # Allowed: call includes optout and the C API and links them; optout
        # includes agent and app; the engine includes the wire and codecs.
        write(self.root, "call/dial.cpp", """
            #include "call/dial.h"

            #include <cstdio>
            #include <iaxclient.h>

            #include "app/settings.h"
            #include "optout/dial_request.h"
            """)
        write(self.root, "call/CMakeLists.txt", """
            # Calls link the opt-out screening and the engine.
            quendra_folder_library(quendra_call EXCLUDE relay.cpp
              LINK quendra_app quendra_optout iaxclient Qt6::Core)
            """)
        write(self.root, "optout/screen.cpp", """
            #include "optout/screen.h"
            #include "agent/socket_layer.h"
            #include "app/settings.h"
            """)
        write(self.root, "optout/CMakeLists.txt", """
            quendra_folder_library(quendra_optout LINK quendra_app quendra_agent iaxclient)
            """)
        write(self.root, "voice/engine/session.cpp", """
            #include "voice/engine/session.h"
            #include "voice/iax2/frame.h"
            #include "voice/codec/g711.h"
            """)
        write(self.root, "voice/CMakeLists.txt", """
            add_library(iaxclient STATIC ${VOICE_SOURCES})
            target_link_libraries(iaxclient PUBLIC iax2wire voice_codecs Threads::Threads)
            """)
        write(self.root, "labpbx/pbx/CMakeLists.txt", """
            quendra_folder_library(labpbx_pbx LINK iax2wire voice_codecs labpbx_manager)
            """)

    def tearDown(self):
        self.tmp.cleanup()

    def test_allowed_tree_passes(self):
        code, out = run(self.root)
        self.assertEqual(code, 0, out)
        self.assertEqual(out, ["check-deps: 0 finding(s)"])

    def test_forbidden_include_is_named_with_file_and_line(self):
        write(self.root, "optout/dial_button.cpp", """
            #include "optout/dial_button.h"

            #include "call/call_state.h"
            """)
        code, out = run(self.root)
        self.assertEqual(code, 1)
        self.assertIn('optout/dial_button.cpp:3: optout may not include call ("call/call_state.h")', out)
        self.assertEqual(out[-1], "check-deps: 1 finding(s)")

    def test_forbidden_angle_include_and_folderless_include(self):
        write(self.root, "voice/iax2/frame.cpp", """
            #include "voice/iax2/frame.h"
            #include <iaxclient.h>
            #include "frame_local.h"
            """)
        code, out = run(self.root)
        self.assertEqual(code, 1)
        self.assertIn("voice/iax2/frame.cpp:2: voice/iax2 may not include voice/include (<iaxclient.h>)", out)
        self.assertIn('voice/iax2/frame.cpp:3: "frame_local.h" does not name a product folder', out)

    def test_forbidden_link_is_named_with_file_and_line(self):
        write(self.root, "optout/CMakeLists.txt", """
            # Dial request and the Do-Not-Call database.
            quendra_folder_library(quendra_optout
              LINK quendra_app quendra_agent
                   quendra_call iaxclient)
            """)
        write(self.root, "labpbx/manager/CMakeLists.txt", """
            quendra_folder_library(labpbx_manager LINK Threads::Threads)
            target_link_libraries(labpbx_manager PRIVATE iaxclient)
            """)
        code, out = run(self.root)
        self.assertEqual(code, 1)
        self.assertIn("optout/CMakeLists.txt:4: quendra_optout (optout) may not link quendra_call (call)", out)
        self.assertIn("labpbx/manager/CMakeLists.txt:2: labpbx_manager (labpbx/manager) may not link "
                      "iaxclient (voice/include)", out)
        self.assertEqual(out[-1], "check-deps: 2 finding(s)")

    def test_report_only_prints_findings_and_passes(self):
        write(self.root, "agent/session.cpp", '#include "call/call_state.h"\n')
        code, out = run(self.root, "--report-only")
        self.assertEqual(code, 0)
        self.assertIn('agent/session.cpp:1: agent may not include call ("call/call_state.h")', out)
        self.assertEqual(out[-1], "check-deps: 1 finding(s) (report only)")


if __name__ == "__main__":
    SCRIPT = sys.argv.pop(1)
    unittest.main(verbosity=2)
