#!/usr/bin/env python3
"""Keeps the layers of the tree pointing down.

1. No link cycle between the project's libraries (read from CMake's graphviz output of a fresh
   configuration of the source tree).
2. No include that points up a layer (the layer of a file is the folder it sits in).
3. No Qt or GL header in the plain layers; GL is allowed in *_gl.cpp / *_gl.h files, which are
   compiled into GL libraries.
4. No plain library links Qt's GUI modules or GL, directly or through another library (the GUI
   libraries are named in GUI_LIBRARIES or end in _gl / _qt).

Usage: check_layers.py SOURCE_DIR [CMAKE]   (exit status 1 with a list of what is wrong)
"""
import os
import re
import subprocess
import sys
import tempfile

# Folder prefix -> rank; a file may include files of its own rank or lower.  The longest prefix
# wins.  PLAIN marks folders that must stay free of Qt and GL.
LAYERS = [
    ("platform/qt/", 1, False),
    ("platform/", 0, True),
    ("geom/", 2, True),
    ("volume/", 3, True),
    ("implicit/", 4, True),
    ("modes/region/kernels/", 4, True),
    ("modes/curve/kernels/", 4, True),
    ("core/", 5, True),
    ("ui/", 6, False),
    ("view/", 7, False),
    ("modes/", 8, False),
    ("app/", 9, False),
]
GUI_LIBRARIES = {"kplatform_qt", "kui", "kview", "kmodes_vis", "kapp", "kestrin"}
GUI_LINKS = re.compile(r"^(Qt6::(Gui|Widgets|OpenGL|OpenGLWidgets)|OpenGL::|GLEW::|.*lib(GL|GLU|GLEW|GLX|OpenGL|Qt6Gui|Qt6Widgets)\b)")
SOURCE_EXT = (".cpp", ".h", ".hpp", ".cc")
QT_OR_GL = re.compile(r'#\s*include\s*[<"](Q[A-Za-z]*|Qt[A-Za-z]*/[^>"]*|GL/[^>"]*|qopengl[^>"]*)[>"]')
GL_ONLY = re.compile(r'#\s*include\s*[<"](GL/[^>"]*)[>"]')
PROJECT_INCLUDE = re.compile(r'#\s*include\s*"([^"]+)"')


def layer_of(path):
    best = None
    for prefix, rank, plain in LAYERS:
        if path.startswith(prefix) and (best is None or len(prefix) > len(best[0])):
            best = (prefix, rank, plain)
    return best


def check_includes(src):
    problems = []
    for root, dirs, files in os.walk(src):
        dirs[:] = [d for d in dirs if not d.startswith(".") and not d.startswith("build")]
        for name in files:
            if not name.endswith(SOURCE_EXT):
                continue
            full = os.path.join(root, name)
            rel = os.path.relpath(full, src).replace(os.sep, "/")
            own = layer_of(rel)
            if own is None:
                continue  # tests, bench, tools, shader
            gl_file = name.endswith(("_gl.cpp", "_gl.h"))
            with open(full, encoding="utf-8", errors="replace") as f:
                for lineno, line in enumerate(f, 1):
                    m = PROJECT_INCLUDE.search(line)
                    if m:
                        target = layer_of(m.group(1))
                        if target is not None and target[1] > own[1]:
                            problems.append(f"{rel}:{lineno}: includes {m.group(1)} from a higher layer")
                    if own[2]:
                        q = QT_OR_GL.search(line)
                        if q and not (gl_file and GL_ONLY.search(line)):
                            problems.append(f"{rel}:{lineno}: plain layer includes <{q.group(1)}>")
    return problems


def link_graph(src, cmake):
    with tempfile.TemporaryDirectory() as tmp:
        dot = os.path.join(tmp, "deps.dot")
        subprocess.run([cmake, "-S", src, "-B", os.path.join(tmp, "b"), "-G", "Ninja",
                        "-DKESTRIN_BUILD_TESTS=OFF", "--graphviz=" + dot],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        text = open(dot, encoding="utf-8").read()
    labels = dict(re.findall(r'"(node\d+)"\s*\[\s*label\s*=\s*"([^"]+)"', text))
    edges = {}
    for a, b in re.findall(r'"(node\d+)"\s*->\s*"(node\d+)"', text):
        la, lb = labels.get(a), labels.get(b)
        if la and lb:
            edges.setdefault(la, set()).add(lb)
    return edges


def is_gui_library(name):
    return name in GUI_LIBRARIES or name.endswith(("_gl", "_qt"))


def plain_libraries_reaching_gui(edges):
    problems = []
    for lib in sorted(edges):
        if not lib.startswith("k") or is_gui_library(lib):
            continue
        seen, todo = set(), [lib]
        while todo:
            n = todo.pop()
            for m in edges.get(n, ()):
                if m in seen:
                    continue
                seen.add(m)
                if GUI_LINKS.match(m) or (m.startswith("k") and is_gui_library(m)):
                    problems.append(f"plain library {lib} links {m}")
                else:
                    todo.append(m)
    return problems


def find_cycle(edges):
    state = {}
    stack = []

    def visit(n):
        state[n] = 1
        stack.append(n)
        for m in sorted(edges.get(n, ())):
            if state.get(m) == 1:
                return stack[stack.index(m):] + [m]
            if state.get(m) is None:
                c = visit(m)
                if c:
                    return c
        stack.pop()
        state[n] = 2
        return None

    for n in sorted(edges):
        if state.get(n) is None:
            c = visit(n)
            if c:
                return c
    return None


def main():
    src = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else ".")
    cmake = sys.argv[2] if len(sys.argv) > 2 else "cmake"
    problems = check_includes(src)
    edges = link_graph(src, cmake)
    if not edges:
        problems.append("no link graph read from cmake --graphviz")
    problems += plain_libraries_reaching_gui(edges)
    ours = {a: {b for b in bs if b.startswith("k")} for a, bs in edges.items() if a.startswith("k")}
    cycle = find_cycle(ours)
    if cycle:
        problems.append("link cycle: " + " -> ".join(cycle))
    for p in problems:
        print(p)
    print(f"{len(ours)} libraries checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
