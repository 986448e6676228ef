"""What the wizard tests of the flow test products share (tests/products): a run of one of
them, its hooks tracing into a file of the run's own, and the fixtures each case needs."""
import os
import sys
import tempfile

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from wizarddriver import Helper, Layout, Wizard, fresh_session, wine_path  # noqa: E402


def layout_fixture(module):
    """The module's fixture that reads the layout its ARGS name, once."""
    @pytest.fixture(scope="module", autouse=True)
    def layout(module_args):
        module.ARGS.layout = Layout(module.ARGS.layout)
    return layout


@pytest.fixture(autouse=True)
def session():
    """Each case in a Wine session of its own: nothing left of an earlier run."""
    fresh_session()


class FlowRun(Wizard):
    """One run of the test product installers/flow_<product>.exe of the tests' folder, with the
    test scripts' switches as environment variables (QPX_...) and command-line `args`."""

    def __init__(self, args, title, *switches, product="wizard", scale=1, locale="C.UTF-8", **env):
        self.folder = tempfile.mkdtemp(prefix="qpx-e2e-")
        self.trace_path = os.path.join(self.folder, "trace.txt")
        environment = {k: v for k, v in os.environ.items() if not k.startswith("QPX_")}
        environment["QPX_TRACE"] = wine_path(self.trace_path)
        environment.update({k: str(v) for k, v in env.items()})
        installer = os.path.join(args.tests, "installers", f"flow_{product}.exe")
        super().__init__(Helper(args.tests), installer, title, args.layout, self.folder, environment, switches,
                         scale=scale, locale=locale)

    def trace(self):
        try:
            return open(self.trace_path, encoding="utf-8").read().split("\n")[:-1]
        except FileNotFoundError:
            return []
