"""Shared by the end-to-end tests: what the program says, and folder trees written from and read
into dicts."""
import os

SUCCESS = "VELDRA successfully installed!"
INCOMPLETE = "VELDRA was not completely installed.\nThese files could not be moved:"
TOO_LONG = "VELDRA could not be installed: the path of the current directory is too long."

DIR = "<dir>"  # stands for a directory in a tree


def make_tree(root, tree):
    """Creates the files and directories of `tree` ({relative path: content or DIR}) in `root`."""
    for path, content in tree.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        if content == DIR:
            os.makedirs(full, exist_ok=True)
        else:
            with open(full, "w", encoding="utf-8") as f:
                f.write(content)


def read_tree(root):
    """Returns everything below `root` as {relative path: content or DIR}."""
    tree = {}
    for directory, dirs, files in os.walk(root):
        for name in dirs:
            tree[os.path.relpath(os.path.join(directory, name), root)] = DIR
        for name in files:
            with open(os.path.join(directory, name), encoding="utf-8", errors="replace") as f:
                tree[os.path.relpath(os.path.join(directory, name), root)] = f.read()
    return tree


def incomplete(*names):
    """The notice that names these entries as not moved."""
    return "\n".join([INCOMPLETE, *names])
