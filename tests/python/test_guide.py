"""The examples of docs/guide.md, as the guide shows them: each code block
that starts with an "example: NAME" comment is written out, compiled (C) or
run (Python), and the PST file it writes is opened with pypff."""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

from pst_reader import read

ROOT = Path(__file__).resolve().parents[2]
GUIDE = ROOT / "docs" / "guide.md"
BLOCK = re.compile(r"```(\w+)\n((?:/\*|#) example: (\S+).*?\n.*?)```", re.S)


def examples():
    return {name: (language, code) for language, code, name in BLOCK.findall(GUIDE.read_text(encoding="utf-8"))}


def library_file():
    path = os.environ.get("VENDREL_LIBRARY")
    if not path:
        pytest.skip("VENDREL_LIBRARY names no built library")
    return Path(path)


def test_the_guide_has_its_examples():
    assert set(examples()) == {"first_pst.c", "first_pst.py"}


def test_the_c_example_writes_a_pst(tmp_path):
    language, code = examples()["first_pst.c"]
    assert language == "c"
    compiler = shutil.which("cc") or shutil.which("gcc")
    if not compiler:
        pytest.skip("no C compiler")
    library = library_file()
    (tmp_path / "first_pst.c").write_text(code)
    subprocess.run([compiler, "-std=c11", "-Wall", "-Werror", "-I", str(ROOT / "include"), "first_pst.c",
                    str(library), "-Wl,-rpath," + str(library.parent), "-o", "first_pst"],
                   cwd=tmp_path, check=True)
    subprocess.run(["./first_pst"], cwd=tmp_path, check=True)
    (item,) = read(tmp_path / "first.pst")["Inbox"][1]
    assert item.subject == "Hello from C"
    assert item.attachments == [("hello.txt", b"hello\n")]


def test_the_python_example_writes_a_pst(tmp_path):
    language, code = examples()["first_pst.py"]
    assert language == "python"
    library_file()
    (tmp_path / "first_pst.py").write_text(code)
    env = dict(os.environ, PYTHONPATH=str(ROOT / "python"))
    subprocess.run([sys.executable, "first_pst.py"], cwd=tmp_path, env=env, check=True)
    folders = read(tmp_path / "first-python.pst")
    assert [i.subject for i in folders["Inbox"][1]] == ["Hello from Python"]
    assert [i.message_class for i in folders["Calendar"][1]] == ["IPM.Appointment"]
    assert [i.subject for i in folders["Contacts"][1]] == ["Bob Example"]
