import pytest

import vmlcmd


@pytest.fixture
def sim():
    with vmlcmd.Simulator() as simulator:
        yield simulator


@pytest.fixture
def device(sim):
    with sim.device() as camera:
        yield camera
