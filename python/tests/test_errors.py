"""Every exception class from a real misbehaviour of the simulated device."""

import errno

import pytest

import vmlcmd
from vmlcmd import Command, Stage


def test_no_listener_is_a_connect_error(sim):
    port = sim.port
    sim.stop()
    with vmlcmd.Device(sim.host, port) as camera:
        with pytest.raises(vmlcmd.ConnectError) as raised:
            camera.bitrate
    error = raised.value
    assert isinstance(error, ConnectionError)
    assert error.stage == Stage.CONNECT_REFUSED
    assert error.outcome.system_error == errno.ECONNREFUSED
    assert "connection refused" in str(error) and error.operation == "get_video_bitrate"


@pytest.mark.parametrize("user, password, status", [("admin", "wrong", 7), ("nobody", "admin", 6)])
def test_refused_login_keeps_the_result_code(sim, user, password, status):
    with sim.device() as good:
        good.bitrate = 800  # leaves code 9
    with sim.device(user=user, password=password) as camera:
        with pytest.raises(vmlcmd.LoginError) as raised:
            camera.bitrate = 1000
    assert raised.value.status == status
    assert raised.value.outcome.exchange == vmlcmd.Exchange.LOGIN
    assert raised.value.code == status + 5  # 11 unknown user, 12 wrong password
    assert raised.value.outcome.result_code == 9  # which the library does not set
    assert sim.state["videoPorts"][0]["encoder"]["bitrate"] == 800


def test_unknown_video_port_is_a_status_error(sim):
    with sim.device(video_port=9) as camera:
        with pytest.raises(vmlcmd.StatusError) as raised:
            camera.brightness
    assert (raised.value.status, raised.value.code, raised.value.result_text) == (5, 14, "错误的视频端口")


@pytest.mark.parametrize("status, code", [(1, 18), (2, 16), (3, 15), (5, 14), (6, 11), (7, 12), (8, 13), (9, 17)])
def test_status_codes_and_their_library_texts(sim, device, status, code):
    sim.set_fault(Command.READ_ENCODER, {"kind": "status", "status": status})
    with pytest.raises(vmlcmd.StatusError) as raised:
        device.frame_rate
    error = raised.value
    assert (error.status, error.code) == (status, code)
    # No other thread runs here, so the module-wide code and text are this operation's.
    assert error.outcome.result_code == code
    assert error.result_text == device._command.error_text().decode("utf-8")
    assert error.result_text in str(error)


def test_status_of_the_combined_write_is_not_mapped(sim, device):
    device.bitrate = 900  # code 9
    sim.set_fault(Command.WRITE_PICTURE_ALL, {"kind": "status", "status": 3})
    with pytest.raises(vmlcmd.StatusError) as raised:
        device.set_video_settings(vmlcmd.VideoSettings(bitrate=2000))
    assert raised.value.status == 3 and raised.value.code == 15
    assert raised.value.outcome.result_code == 9  # the library leaves its code here
    assert sim.requests()[-1].command == Command.WRITE_PICTURE_ALL  # no encoder request followed
    assert device.bitrate == 900


def test_silent_device_is_a_reply_timeout(sim, device):
    sim.set_fault(Command.READ_PICTURE, "no-reply")
    with pytest.raises(vmlcmd.ReplyTimeoutError) as raised:
        device.hue
    assert isinstance(raised.value, TimeoutError)
    assert raised.value.outcome.elapsed_us >= 900_000


@pytest.mark.parametrize(
    "fault, stage",
    [("close", Stage.CLOSED_BY_DEVICE), ("reset", Stage.RECEIVE_FAILED)],
)
def test_closed_or_reset_connection(sim, device, fault, stage):
    sim.set_fault(Command.READ_MASK, fault)
    with pytest.raises(vmlcmd.ConnectionClosedError) as raised:
        device.privacy_mask
    assert raised.value.stage == stage
    if stage == Stage.RECEIVE_FAILED:
        assert raised.value.outcome.system_error == errno.ECONNRESET


class TestGettersNeverPassOffAFailureAsZero:
    def test_a_reply_without_the_value(self, sim, device):
        sim.set_fault(Command.READ_ENCODER, {"kind": "text", "text": "-p 0 -f 25"})
        with pytest.raises(vmlcmd.ValueMissingError) as raised:
            device.bitrate
        assert raised.value.letter == "b"

    def test_a_reply_cut_after_its_header(self, sim, device):
        sim.set_fault(Command.READ_SERIAL, {"kind": "truncate", "truncate_to": 20})
        with pytest.raises(vmlcmd.ValueMissingError):
            device.baud

    def test_a_real_zero_is_a_value(self, sim, device):
        sim.set_fault(Command.READ_ENCODER, {"kind": "text", "text": "-b 0"})
        assert device.bitrate == 0

    def test_the_second_exchange_of_the_combined_read(self, sim, device):
        sim.set_fault(Command.READ_ENCODER, {"kind": "text", "text": "-r 1"})
        with pytest.raises(vmlcmd.ValueMissingError) as raised:
            device.video_settings
        assert raised.value.outcome.exchange == vmlcmd.Exchange.SECOND
        assert "second request" in str(raised.value)


def test_stage_texts_come_from_the_library():
    assert vmlcmd.stage_text(Stage.REPLY_TIMED_OUT) == "no reply within 1 s"
    assert vmlcmd.stage_text(Stage.SUCCESS, "zh") != ""
    with pytest.raises(ValueError):
        vmlcmd.stage_text(Stage.SUCCESS, "fr")
