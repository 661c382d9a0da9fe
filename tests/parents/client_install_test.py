"""A client installed as its ecosystem installs things, from the tree and with
no registry, into a fresh place outside the tree; the README's program then
runs with the installed copy, from another folder, against the real helper
(on PATH) on a private audio server playing the test tone, and must print the
level line. The installed copy must carry the project's licence.

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

TONE_SECONDS = "6"


def run(command, **options):
    return subprocess.run(command, check=True, text=True, timeout=120, **options).stdout


def install_node(client, scratch):
    """npm pack, then npm install of the tarball into a fresh project."""
    project = os.path.join(scratch, "project")
    os.mkdir(project)
    with open(os.path.join(project, "package.json"), "w") as manifest:
        manifest.write('{"name": "fresh-project", "private": true}\n')
    npm = ["npm", "--offline", "--no-audit", "--no-fund", "--cache", scratch + "/npm-cache"]
    tarball = run(npm + ["pack", "--pack-destination", project], cwd=client,
                  stdout=subprocess.PIPE).split()[-1]
    run(npm + ["install", "./" + tarball], cwd=project)
    program = shutil.copy(os.path.join(client, "examples", "capture.mjs"), project)
    licence = os.path.join(project, "node_modules", "vantle-audio-helper", "LICENSE")
    return licence, ["node", program], project


def install_python(client, scratch):
    """pip install into a fresh virtual environment of Debian's interpreter,
    whose pip, setuptools and wheel it sees (--system-site-packages). From a
    copy of the client: building in place leaves build files behind."""
    source = shutil.copytree(client, scratch + "/source",
                             ignore=shutil.ignore_patterns("__pycache__", "build", "*.egg-info"))
    venv = scratch + "/venv"
    run(["/usr/bin/python3", "-m", "venv", "--without-pip", "--system-site-packages", venv])
    python = venv + "/bin/python"
    run([python, "-m", "pip", "install", "--no-index", "--no-build-isolation",
         "--disable-pip-version-check", source])
    shutil.rmtree(source)  # only the installed copy is left to import
    [licence] = glob.glob(venv + "/lib/python3*/site-packages/vantle_audio_helper-*/LICENSE")
    elsewhere = scratch + "/elsewhere"
    os.mkdir(elsewhere)
    program = shutil.copy(os.path.join(client, "examples", "capture.py"), elsewhere)
    return licence, [python, program], elsewhere


def main(kind, root, level_line):
    with tempfile.TemporaryDirectory() as scratch:
        install = install_node if kind == "node" else install_python
        licence, command, where = install(os.path.join(root, "clients", kind), scratch)
        with open(licence) as installed, open(os.path.join(root, "LICENSE")) as ours:
            assert installed.read() == ours.read(), "the installed licence differs"
        env = {name: value for name, value in os.environ.items() if name != "PYTHONPATH"}
        shown = subprocess.run([sys.executable, with_private_server.__file__, TONE_SECONDS,
                                *command], cwd=where, env=env, text=True,
                               stdout=subprocess.PIPE, timeout=60)
    print(shown.stdout, end="")
    assert shown.returncode == 0, "the README's program failed"
    assert re.fullmatch(level_line + "\n", shown.stdout), "not the level line: " + level_line


if __name__ == "__main__":
    main(*sys.argv[1:])
