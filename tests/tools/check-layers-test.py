#!/usr/bin/env python3
"""Tests of tools/check-layers.py on small trees of its own: which includes it
lets through, which it names, and its exit code."""
import contextlib
import importlib.util
import io
import os
import tempfile
import unittest

TOOL_PATH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "check-layers.py")
found = importlib.util.spec_from_file_location("check_layers", TOOL_PATH)
tool = importlib.util.module_from_spec(found)
found.loader.exec_module(tool)

LAYERS = ["top", "middle", "bottom"]


class CheckLayers(unittest.TestCase):
    def setUp(self):
        self.temp = tempfile.TemporaryDirectory()
        self.src = os.path.join(self.temp.name, "src")
        for layer in LAYERS:
            os.makedirs(os.path.join(self.src, layer))

    def tearDown(self):
        self.temp.cleanup()

    def write(self, name, text):
        path = os.path.join(self.src, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)

    def run_tool(self):
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            code = tool.main(["check-layers.py", self.src] + LAYERS)
        return code, out.getvalue()

    def test_includes_of_the_own_layer_and_those_below_pass(self):
        self.write("top/a.cpp", '#include "top/a.h"\n#include "middle/b.h"\n#include "bottom/c.h"\n')
        self.write("middle/sub/b.cpp", '#include "middle/b.h"\n#include "bottom/c.h"\n#include <vector>\n')
        self.write("bottom/c.cpp", '#include "bottom/c.h"\n#include "generated.h"\n#include "other/x.h"\n')
        self.assertEqual(self.run_tool(), (0, ""))

    def test_each_upward_include_is_named_with_its_file_and_line(self):
        cases = [
            ("middle/b.cpp", '#include "middle/b.h"\n#include "top/a.h"\n', "src/middle/b.cpp:2: middle includes top"),
            ("bottom/deep/c.h", '// x\n  #  include "middle/b.h"\n', "src/bottom/deep/c.h:2: bottom includes middle"),
            ("bottom/c.cpp", '#include "top/a.h"\n', "src/bottom/c.cpp:1: bottom includes top"),
        ]
        for name, text, expected in cases:
            with self.subTest(name=name):
                self.write(name, text)
                code, out = self.run_tool()
                self.assertEqual(code, 1)
                self.assertIn(expected, out)
                os.remove(os.path.join(self.src, *name.split("/")))
        self.assertEqual(self.run_tool(), (0, ""))

    def test_a_folder_outside_the_order_fails(self):
        os.makedirs(os.path.join(self.src, "stray"))
        code, out = self.run_tool()
        self.assertEqual(code, 1)
        self.assertIn("src/stray:0: is no layer", out)


if __name__ == "__main__":
    unittest.main()
