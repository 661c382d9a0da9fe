"""A client installed as its ecosystem installs things, from the tree and with
no registry, into a fresh folder outside the tree; the README's program then
runs there with the installed copy, against the real helper (on PATH) on a
private audio server playing the test tone, and must print the level line.
The installed copy must carry the project's licence.

    client_install_test.py node|python PROJECT_ROOT LEVEL_LINE_REGEX
"""

import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

import with_private_server


def run(command, **options):
    return subprocess.run(command, check=True, text=True, timeout=120, **options).stdout


def install_node(client, scratch):
    """npm pack, then npm install of the tarball into a fresh project."""
    with open(scratch + "/package.json", "w") as manifest:
        manifest.write('{"name": "fresh-project", "private": true}\n')
    npm = ["npm", "--offline", "--no-audit", "--no-fund", "--cache", scratch + "/.npm"]
    tarball = run(npm + ["pack", "--pack-destination", scratch], cwd=client,
                  stdout=subprocess.PIPE).split()[-1]
    run(npm + ["install", "./" + tarball], cwd=scratch)
    return scratch + "/node_modules/vantle-audio-helper/LICENSE", ["node", "capture.mjs"]


def install_python(client, scratch):
    """pip install into a fresh virtual environment of Debian's interpreter, which
    lends it pip, setuptools and wheel; from a copy, as building in place leaves
    files behind, removed afterwards so that only the installed module is left."""
    source = shutil.copytree(client, scratch + "/source",
                             ignore=shutil.ignore_patterns("__pycache__", "build", "*.egg-info"))
    python = scratch + "/venv/bin/python"
    run(["/usr/bin/python3", "-m", "venv", "--without-pip", "--system-site-packages",
         scratch + "/venv"])
    run([python, "-m", "pip", "install", "--no-index", "--no-build-isolation",
         "--disable-pip-version-check", source])
    shutil.rmtree(source)
    [licence] = glob.glob(scratch + "/venv/lib/python3*/site-packages/vantle_audio*/LICENSE")
    return licence, [python, "capture.py"]


def main(kind, root, level_line):
    client = os.path.join(root, "clients", kind)
    with tempfile.TemporaryDirectory() as scratch:
        licence, command = (install_node if kind == "node" else install_python)(client, scratch)
        with open(licence) as installed, open(os.path.join(root, "LICENSE")) as ours:
            assert installed.read() == ours.read(), "the installed licence differs"
        shutil.copy(os.path.join(client, "examples", command[1]), scratch)
        env = {name: value for name, value in os.environ.items() if name != "PYTHONPATH"}
        shown = run([sys.executable, with_private_server.__file__, "6", *command], cwd=scratch,
                    env=env, stdout=subprocess.PIPE)
    print(shown, end="")
    assert re.fullmatch(level_line + "\n", shown), "not the level line: " + level_line


if __name__ == "__main__":
    main(*sys.argv[1:])
