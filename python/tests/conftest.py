pytest_plugins = ["nyr.testing"]
