#!/usr/bin/python3
"""Prints the accessibility tree of a running application as screen readers
see it through AT-SPI, one line per object: its depth, role, name, whether
it is showing (1 or 0), current value (for sliders), text and description,
tab-separated.

    accessible_tree.py APPLICATION

Exits 2 when no application of that name is on the accessibility bus.
"""
import sys

import pyatspi


def value_of(accessible):
    try:
        return "%g" % accessible.queryValue().currentValue
    except NotImplementedError:
        return ""


def text_of(accessible):
    try:
        text = accessible.queryText()
        return text.getText(0, text.characterCount).replace("\n", " ")
    except NotImplementedError:
        return ""


def dump(accessible, depth, out):
    showing = accessible.getState().contains(pyatspi.STATE_SHOWING)
    out.append("\t".join([str(depth), accessible.getRoleName(), accessible.name,
                          "1" if showing else "0", value_of(accessible), text_of(accessible),
                          accessible.description.replace("\n", " ")]))
    for index in range(accessible.childCount):
        child = accessible.getChildAtIndex(index)
        if child is not None:
            dump(child, depth + 1, out)


def main():
    wanted = sys.argv[1]
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        application = desktop.getChildAtIndex(index)
        if application is not None and application.name == wanted:
            lines = []
            dump(application, 0, lines)
            print("\n".join(lines))
            return 0
    return 2


if __name__ == "__main__":
    sys.exit(main())
