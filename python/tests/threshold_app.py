"""A device application in miniature, for the tests: connects to $NYR_SOCKET, watches one leaf
and raises an alarm (kind 0x8) each time a write takes it above a limit."""
import sys

import nyr

path, limit = sys.argv[1], float(sys.argv[2])
with nyr.connect() as store, store.watch(path, kinds=nyr.TREE_CHANGES) as changes:
    print("ready", flush=True)
    for change in changes:
        if change.value.value > limit:
            store.send(nyr.Event(0x8, path=path, value=change.value, note=f"above {limit}"))
