#!/usr/bin/python3
"""Prints the accessibility tree of a running application as screen readers
see it through AT-SPI, one line per object: its depth, role, name, whether
it is showing (1 or 0), current value (for sliders), text, description and
whether it is checked (1 or 0), tab-separated.

    accessible_tree.py APPLICATION
    accessible_tree.py APPLICATION --press NAME

With --press, does the first action (a button's press) of the object named
NAME instead, as a screen reader's user would; exits 3 when there is none.
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
    state = accessible.getState()
    showing = state.contains(pyatspi.STATE_SHOWING)
    checked = state.contains(pyatspi.STATE_CHECKED) or state.contains(pyatspi.STATE_PRESSED)
    out.append("\t".join([str(depth), accessible.getRoleName(), accessible.name,
                          "1" if showing else "0", value_of(accessible), text_of(accessible),
                          accessible.description.replace("\n", " "),
                          "1" if checked else "0"]))
    for index in range(accessible.childCount):
        child = accessible.getChildAtIndex(index)
        if child is not None:
            dump(child, depth + 1, out)


def press(accessible, name):
    if accessible.name == name:
        try:
            accessible.queryAction().doAction(0)
            return True
        except NotImplementedError:
            pass
    for index in range(accessible.childCount):
        child = accessible.getChildAtIndex(index)
        if child is not None and press(child, name):
            return True
    return False


def main():
    wanted = sys.argv[1]
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        application = desktop.getChildAtIndex(index)
        if application is not None and application.name == wanted:
            if len(sys.argv) > 3 and sys.argv[2] == "--press":
                return 0 if press(application, sys.argv[3]) else 3
            lines = []
            dump(application, 0, lines)
            print("\n".join(lines))
            return 0
    return 2


if __name__ == "__main__":
    sys.exit(main())
