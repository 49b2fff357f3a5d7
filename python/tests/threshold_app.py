"""A device application in miniature, for the tests: raises an alarm (kind 0x8) each time a write
takes one leaf above a limit. As a program it works on the nyrd at $NYR_SOCKET."""
import sys

import nyr


def run(store, path, limit, ready):
    """Watches `path` until the store closes; calls ready() once it is watching."""
    with store.watch(path, kinds=nyr.TREE_CHANGES) as changes:
        ready()
        for change in changes:
            if change.value.value > limit:
                store.send(nyr.Event(0x8, path=path, value=change.value, note=f"above {limit}"))


if __name__ == "__main__":
    with nyr.connect() as store:
        run(store, sys.argv[1], float(sys.argv[2]), lambda: print("ready", flush=True))
