#!/usr/bin/env python3
"""Fails when an exported call of a public header has no documentation comment.

Every "VENDREL_API <type> <name>(" declaration belongs to a group of
consecutive declarations that a C comment block directly precedes. The block
documents the whole group: a later declaration of the group must be the narrow
twin of the one before it (its name plus "A") or be named in the block. A
block of a call that returns a value must say what it returns ("Returns").

  check_header_docs.py HEADER
"""
import re
import sys

DECLARATION = re.compile(r"^VENDREL_API\s+(\w+)[\s*]+(\w+)\s*\(")


def comment_above(lines, index):
    """The comment block that ends on the line above `index`, or None."""
    end = index - 1
    if end < 0 or not lines[end].rstrip().endswith("*/"):
        return None
    start = end
    while start >= 0 and "/*" not in lines[start]:
        start -= 1
    if start < 0:
        return None
    return "\n".join(lines[start:end + 1])


def check(path):
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    problems = []
    group_comment = None
    previous = None
    for index, line in enumerate(lines):
        match = DECLARATION.match(line)
        if not match:
            # A continuation line of a declaration keeps the group open; a
            # blank line or anything else closes it.
            if previous and line.startswith(" ") and line.strip():
                continue
            previous = None
            continue
        result_type, name = match.groups()
        comment = comment_above(lines, index)
        if comment is not None:
            group_comment = comment
        elif previous is None:
            problems.append(f"{path}:{index + 1}: {name} has no documentation comment")
            continue
        elif name != previous + "A" and not re.search(rf"\b{re.escape(name)}\b", group_comment or ""):
            problems.append(f"{path}:{index + 1}: {name} follows {previous} but its comment neither "
                            "names it nor is it the narrow twin")
        words = len(re.findall(r"\w+", group_comment or ""))
        if words < 6:
            problems.append(f"{path}:{index + 1}: the comment of {name} is too short to document it")
        if result_type != "void" and "Returns" not in (group_comment or ""):
            problems.append(f"{path}:{index + 1}: the comment of {name} does not say what it returns")
        previous = name
    return problems


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    problems = check(sys.argv[1])
    for problem in problems:
        print(problem)
    if problems:
        return 1
    print(f"{sys.argv[1]}: every exported call is documented")
    return 0


if __name__ == "__main__":
    sys.exit(main())
