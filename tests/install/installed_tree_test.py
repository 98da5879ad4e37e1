#!/usr/bin/env python3
"""Tests of an installed tree: `cmake --install` into a temporary prefix (never the build folder),
then the example hosts built from the installed files alone and run against them, the installed
command copied and moved about, and the Debian package.

  installed_tree_test.py BUILD_DIR SOURCE_DIR [unittest arguments, e.g. InstalledTree.test_x]
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

BUILD = SOURCE = None

DIGEST = re.compile(r'^"[0-9a-f]{64}"$')


def run(args, env=None, cwd=None):
    return subprocess.run(args, env=env, cwd=cwd, capture_output=True, text=True, errors="replace", timeout=120)


def checked(args, env=None, cwd=None):
    result = run(args, env, cwd)
    if result.returncode != 0:
        raise AssertionError(f"{' '.join(args)} exited {result.returncode}:\n{result.stdout}{result.stderr}")
    return result.stdout


class InstalledTree(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="corvane-installed-")
        cls.prefix = os.path.join(cls.root, "prefix")
        checked(["cmake", "--install", BUILD, "--prefix", cls.prefix])
        env = {k: v for k, v in os.environ.items() if k not in ("CORVANE_PLUGIN", "LD_LIBRARY_PATH")}
        pc = [os.path.join(d, f) for d, _, files in os.walk(cls.prefix) for f in files if f == "corvane.pc"]
        env["PKG_CONFIG_PATH"] = os.path.dirname(pc[0]) if pc else ""
        cls.env = env
        cls.libdir = checked(["pkg-config", "--variable=libdir", "corvane"], env).strip()
        cls.command = os.path.join(cls.prefix, "bin", "corvane")
        cls.library = os.path.join(SOURCE, "examples", "library")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def pkg_config(self, *args):
        return checked(["pkg-config", *args, "corvane"], self.env).split()

    def build_c_host(self, source, name):
        """A C host, built through pkg-config from the installed files alone."""
        program = os.path.join(self.root, name)
        checked(["cc", "-std=c11", "-Wall", "-Wextra", "-pedantic", "-Werror", source,
                 *self.pkg_config("--cflags", "--libs"), "-pthread", "-o", program], self.env)
        return program

    def host_answer(self, host, library, method, arguments):
        """What an example host answers: the text after "METHOD: " on its one line."""
        args = [*host, *(["--library", library] if library else []), "--call", method, *arguments]
        output = checked(args, dict(self.env, LD_LIBRARY_PATH=self.libdir))
        self.assertTrue(output.startswith(method + ": "), output)
        return output[len(method) + 2:].rstrip("\n")

    def command_answer(self, library, method, argument):
        """What `corvane call` answers: its JSON line, or "not implemented" (exit status 3)."""
        result = run([self.command, "-q", "call", *(["--library", library] if library else []), method,
                      *([argument] if argument is not None else [])], self.env)
        if result.returncode == 3:
            return "not implemented"
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout.rstrip("\n")

    def test_hosts_answer_as_the_command(self):
        small = os.path.join(self.root, "small file.txt")
        large = os.path.join(self.root, "large.bin")
        with open(small, "wb") as f:
            f.write(b"corvane\n")
        with open(large, "wb") as f:
            f.write(bytes((i * 7 + i // 251) % 256 for i in range(300_000)))
        library = self.library
        album = '{{"assetId": "{}", "pathId": "{}", "isUserAlbum": {}}}'.format
        # method, the hosts' arguments, `corvane call`'s argument, library lent, kind of answer
        cases = [
            ("getPlatformVersion", [], None, None, "version"),
            ("fingerprintOfFile", [small], small, None, "digest"),
            ("fingerprintOfFile", [large], large, None, "digest"),
            ("fingerprintOfFile", ["/no/such/file"], "/no/such/file", None, "null"),
            ("hashFile", [large], large, None, "digest"),
            ("hashFile", [self.root], self.root, None, "null"),
            ("fingerprintOfVideoAsset", ["Holidays/sea waves.avi"], "Holidays/sea waves.avi", library, "digest"),
            ("fingerprintOfVideoAsset", ["Holidays/beach.png"], "Holidays/beach.png", library, "null"),
            ("hashAsset", ["Holidays/beach.png"], "Holidays/beach.png", library, "digest"),
            ("hashAsset", ["../library/welcome.png"], "../library/welcome.png", library, "null"),
            ("hashAsset", ["Holidays/beach.png"], "Holidays/beach.png", None, "null"),
            ("getIfAssetExistInAlbum", ["Holidays/beach.png", "Holidays"],
             album("Holidays/beach.png", "Holidays", "true"), library, "true"),
            ("getIfAssetExistInAlbum", ["Holidays/beach.png", "Family"],
             album("Holidays/beach.png", "Family", "true"), library, "false"),
            ("getIfAssetExistInAlbum", ["welcome.png", "", "false"], album("welcome.png", "", "false"), library,
             "true"),
            ("noSuchMethod", [], None, None, "not implemented"),
        ]
        kinds = {"digest": DIGEST.match, "version": lambda a: a.startswith('"iOS '),
                 "null": "null".__eq__, "true": "true".__eq__, "false": "false".__eq__,
                 "not implemented": "not implemented".__eq__}
        hosts = {"C host": [self.build_c_host(os.path.join(SOURCE, "examples", "c_host", "c_host.c"), "c_host")],
                 "Python host": [sys.executable, os.path.join(SOURCE, "examples", "python_host", "python_host.py"),
                                 "--plugin", os.path.join(self.libdir, "libcorvane.so.1")]}
        for method, arguments, argument, lent, kind in cases:
            expected = self.command_answer(lent, method, argument)
            self.assertTrue(kinds[kind](expected), f"{method} {arguments}: the command answered {expected}")
            for name, host in hosts.items():
                with self.subTest(host=name, method=method, arguments=arguments):
                    self.assertEqual(self.host_answer(host, lent, method, arguments), expected)

        # The whole host the README shows, as it stands there.
        with open(os.path.join(SOURCE, "README.md")) as f:
            example = re.search(r"```c\n(.*?)```", f.read(), re.S).group(1)
        source = os.path.join(self.root, "readme_host.c")
        with open(source, "w") as f:
            f.write(example)
        readme_host = self.build_c_host(source, "readme_host")
        self.assertEqual(checked([readme_host], dict(self.env, LD_LIBRARY_PATH=self.libdir)),
                         json.loads(self.command_answer(None, "getPlatformVersion", None)) + "\n")

    def test_the_c_host_builds_through_the_cmake_package(self):
        build = os.path.join(self.root, "c_host_cmake")
        checked(["cmake", "-S", os.path.join(SOURCE, "examples", "c_host"), "-B", build, "-G", "Ninja",
                 f"-DCMAKE_PREFIX_PATH={self.prefix}"], self.env)
        checked(["cmake", "--build", build], self.env)
        answer = checked([os.path.join(build, "c_host"), "--call", "getPlatformVersion"], self.env)
        self.assertEqual(answer, "getPlatformVersion: " + self.command_answer(None, "getPlatformVersion", None) + "\n")

    def test_the_readme_host_builds_and_runs_as_written(self):
        readme = open(os.path.join(SOURCE, "README.md"), encoding="utf-8").read()
        source = os.path.join(self.root, "host.c")
        with open(source, "w") as f:
            f.write(re.search(r"```c\n(.*?)```", readme, re.S).group(1))
        program = os.path.join(self.root, "readme_host")
        libdir = checked(["pkg-config", "--variable=libdir", "corvane"], self.env).strip()
        checked(["cc", "-std=c11", source, *self.pkg_config("--cflags", "--libs"), f"-Wl,-rpath,{libdir}", "-o",
                 program], self.env)
        self.assertTrue(checked([program], self.env).startswith("iOS "))

    def test_the_header_compiles_as_c_and_as_cpp_without_warnings(self):
        source = os.path.join(self.root, "include_only")
        with open(source, "w") as f:
            f.write("#include <corvane/corvane.h>\n"
                    "double registerWith(CorvanePluginRegistrarRef registrar);\n"
                    "double registerWith(CorvanePluginRegistrarRef registrar) {\n"
                    "  CorvanePluginRegisterWithRegistrar(registrar);\n"
                    "  return corvaneVersionNumber + corvaneVersionString[0];\n"
                    "}\n")
        for compiler, language, standard in [("cc", "c", "c11"), ("cc", "c", "c17"), ("c++", "c++", "c++11"),
                                             ("c++", "c++", "c++20")]:
            with self.subTest(standard=standard):
                result = run([compiler, "-x", language, f"-std={standard}", "-Wall", "-Wextra", "-pedantic",
                              "-Werror", "-fsyntax-only", *self.pkg_config("--cflags"), source], self.env)
                self.assertEqual((result.returncode, result.stderr), (0, ""))

    def test_the_command_finds_its_plugin_or_says_where_it_looked(self):
        moved = os.path.join(self.root, "moved")
        shutil.copytree(self.prefix, moved, symlinks=True)
        alone = os.path.realpath(os.path.join(self.root, "alone"))
        os.makedirs(alone)
        shutil.copy2(self.command, alone)
        plugin = os.path.join(self.libdir, "libcorvane.so.1")
        found = '"iOS '
        # what, the command, options before the subcommand, CORVANE_PLUGIN, status, text on stdout or stderr
        cases = [
            ("installed", self.command, [], None, 0, found),
            ("the whole tree moved elsewhere", os.path.join(moved, "bin", "corvane"), [], None, 0, found),
            ("copied alone", os.path.join(alone, "corvane"), [], None, 1,
             f"looked for {alone}/libcorvane.so.1, {alone}/"),
            ("copied alone, told with --plugin", os.path.join(alone, "corvane"), ["--plugin", plugin], None, 0, found),
            ("copied alone, told by CORVANE_PLUGIN", os.path.join(alone, "corvane"), [], plugin, 0, found),
            ("told a library that is not there", self.command, [], "/no/such/libcorvane.so.1", 1,
             "/no/such/libcorvane.so.1"),
        ]
        for what, command, options, variable, status, text in cases:
            with self.subTest(what):
                env = dict(self.env, **({"CORVANE_PLUGIN": variable} if variable else {}))
                result = run([command, *options, "call", "getPlatformVersion"], env)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertIn(text, result.stdout if status == 0 else result.stderr)
                if status != 0:
                    self.assertIn("--plugin", result.stderr)
                    self.assertIn("CORVANE_PLUGIN", result.stderr)

    def debian_packages(self):
        """The packages cpack makes of the build, made once: {name: path}."""
        if not hasattr(type(self), "packages"):
            out = os.path.join(self.root, "package")
            checked(["cpack", "-G", "DEB", "--config", os.path.join(BUILD, "CPackConfig.cmake"), "-B", out], self.env)
            type(self).packages = {f.split("_")[0]: os.path.join(out, f) for f in os.listdir(out) if f.endswith(".deb")}
        return self.packages

    def test_the_debian_packages_hold_what_install_puts_in_place_and_run(self):
        if shutil.which("dpkg-deb") is None:
            self.skipTest("dpkg-deb is not installed")
        packages = self.debian_packages()
        self.assertEqual(sorted(packages), ["corvane", "libcorvane-dev", "libcorvane1"])

        installed = set()
        for folder, _, files in os.walk(self.prefix):
            installed.update(os.path.relpath(os.path.join(folder, f), self.prefix) for f in files)
        listed = {}
        for name, package in packages.items():
            for line in checked(["dpkg-deb", "-c", package]).splitlines():
                path = line.split(None, 5)[5].split(" -> ")[0]
                if not path.endswith("/"):
                    listed[os.path.relpath(path, "./usr")] = name
        self.assertEqual(set(listed), installed)
        # The library alone in its package, the command and its documents in theirs.
        self.assertEqual(listed["lib/libcorvane.so.1"], "libcorvane1")
        self.assertEqual(listed["lib/libcorvane.so"], "libcorvane-dev")
        self.assertEqual(listed["bin/corvane"], "corvane")
        for document in ("share/man/man1/corvane.1.gz", "share/bash-completion/completions/corvane",
                         "share/zsh/vendor-completions/_corvane", "share/fish/vendor_completions.d/corvane.fish"):
            self.assertEqual(listed[document], "corvane")
        for name in packages:
            self.assertEqual(listed[f"share/doc/{name}/copyright"], name)

        unpacked = os.path.join(self.root, "unpacked")
        for package in packages.values():
            checked(["dpkg-deb", "-x", package, unpacked])
        command = os.path.join(unpacked, "usr", "bin", "corvane")
        self.assertTrue(checked([command, "call", "getPlatformVersion"], self.env).startswith('"iOS '))
        self.assertEqual(checked([command, "-q", "hash", "--library", self.library, "--asset", "Holidays/beach.png"],
                                 self.env),
                         checked([self.command, "-q", "hash", "--library", self.library, "--asset",
                                  "Holidays/beach.png"], self.env))
        # One version everywhere: the command, pkg-config and the packages.
        version = checked([command, "--version"], self.env).splitlines()
        self.assertEqual(version[0], "corvane " + checked(["pkg-config", "--modversion", "corvane"], self.env).strip())
        self.assertIn("libcorvane.so.1", version[1])
        for package in packages.values():
            self.assertEqual(checked(["dpkg-deb", "-f", package, "Version"]).strip(), version[0].split()[1])

    def test_lintian_finds_no_error_in_the_packages(self):
        if shutil.which("lintian") is None:
            if os.environ.get("CI"):
                self.fail("lintian is not installed")
            self.skipTest("lintian is not installed")
        result = run(["lintian", "--allow-root", *self.debian_packages().values()])
        errors = [line for line in result.stdout.splitlines() if line.startswith("E:")]
        self.assertEqual(errors, [], result.stdout)

if __name__ == "__main__":
    BUILD, SOURCE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=[sys.argv[0], *sys.argv[3:]], verbosity=2)
