"""Round trips of every family of operations against a simulated device."""

import datetime

import pytest

import vmlcmd
from vmlcmd import Command, Position


def port_state(sim, port=0):
    return sim.state["videoPorts"][port]


class TestNetwork:
    def test_addresses_one_at_a_time_and_together(self, sim, device):
        assert device.network == vmlcmd.Network("192.0.2.10", "255.255.255.0", "192.0.2.1")
        device.ip = "192.0.2.44"
        device.subnet_mask = "255.255.0.0"
        device.gateway = "192.0.2.254"
        assert device.network == ("192.0.2.44", "255.255.0.0", "192.0.2.254")
        device.set_network("198.51.100.7", "255.255.255.128", "198.51.100.1")
        assert sim.state["network"] == {"ip": "198.51.100.7", "mask": "255.255.255.128", "gateway": "198.51.100.1"}
        assert device.ip == "198.51.100.7"

    @pytest.mark.parametrize("bad", ["192.0.2", "192.0.2.300", "example.com", "192.0.2.1 -m 0.0.0.0", ""])
    def test_malformed_addresses_are_refused_before_sending(self, sim, device, bad):
        with pytest.raises(ValueError):
            device.ip = bad
        with pytest.raises(ValueError):
            device.set_network("192.0.2.1", bad, "192.0.2.1")
        assert sim.requests() == []


class TestSettings:
    def test_clock_now_is_this_hosts_local_time(self, sim, device):
        before = datetime.datetime.now().replace(microsecond=0)
        device.set_clock("now")
        after = datetime.datetime.now()
        wire = lambda t: {"date": f"{t.year}{t.month}{t.day}", "time": f"{t.hour}{t.minute}{t.second}"}
        assert sim.state["clock"] in (wire(before), wire(after))
        with pytest.raises(ValueError):
            device.set_clock("soon")

    def test_clock_serial_ptz_setup_account_and_port_setting(self, sim, device):
        device.set_clock(datetime.datetime(2031, 12, 24, 18, 5, 9))
        # The device keeps the digits as sent: no separators, no leading zeros.
        assert sim.state["clock"] == {"date": "20311224", "time": "1859"}
        device.baud = 19200
        assert device.baud == 19200
        device.set_ptz_protocol(2, 1)
        device.set_ptz_address(17, 1)
        assert sim.state["ptzHeads"][1] == {"protocol": 2, "address": 17}
        device.set_port_setting(3, 200)
        assert sim.state["portSettings"] == {"3": 200}
        device.set_account("operator", "secret")
        assert sim.state["account"] == {"user": "operator", "password": "secret"}

    def test_bare_and_pass_through_commands(self, sim, device):
        device.send_command8()  # never answered: sent is success
        device.send_command9()
        device.send_command51(4, "tt", "aa", 9)
        device.send_command52(5, b"x", b"y", -1)
        state = sim.state
        assert (state["command8Count"], state["command9Count"]) == (1, 1)
        assert state["last51"] == {"received": True, "p": 4, "t": "tt", "a": "aa", "o": 9}
        assert state["last52"]["o"] == -1
        # Their texts go as given: the library knows nothing of these commands' options.
        device.send_command51(1, "x -o 5", "b", 0)
        assert sim.requests()[-1].text == b"-p 1 -t x -o 5 -a b -o 0"

    def test_byte_and_int32_ranges_are_refused_before_sending(self, sim, device):
        with pytest.raises(ValueError):
            device.set_port_setting(1, 256)
        with pytest.raises(ValueError):
            device.bitrate = 2**31
        with pytest.raises(TypeError):
            device.bitrate = "1024"
        with pytest.raises(ValueError):
            device.set_account("ad-min", "pw")  # the device would read "min" as another option
        with pytest.raises(ValueError):
            device.set_account("user\0", "pw")
        with pytest.raises(ValueError):
            device.set_account("admin", "much-too-long-password")
        assert sim.requests() == []


class TestPtz:
    @pytest.mark.parametrize(
        "move, direction, action",
        [("pan", 5, 4), ("pan", -100, 3), ("tilt", 1, 1), ("tilt", -1, 2), ("zoom", 1, 7), ("zoom", -3, 8),
         ("iris", 2, 5), ("iris", -2, 6), ("focus", 1, 9), ("focus", -1, 10)],
    )
    def test_only_the_sign_of_a_direction_counts(self, sim, device, move, direction, action):
        getattr(device.ptz, move)(direction)
        assert port_state(sim)["ptz"]["action"] == action
        device.ptz.stop()
        assert port_state(sim)["ptz"]["action"] == 0

    def test_zero_direction_is_refused_without_a_connection(self, sim, device):
        with pytest.raises(ValueError):
            device.ptz.pan(0)
        assert sim.devices[0].stats["accepted"] == 0

    def test_auto_mode_and_parameters_follow_the_video_port(self, sim, device):
        device.video_port = 2
        device.ptz.auto(True)
        assert port_state(sim, 2)["ptz"]["auto"] is True
        device.ptz.auto(False)
        assert port_state(sim, 2)["ptz"]["auto"] is False
        device.ptz.set_parameters(3, 4)
        assert port_state(sim, 2)["ptzParameters"] == {"set": True, "r": 3, "s": 4}
        assert sim.requests()[-1].text == b"-p 2 -r 3 -s 4"


class TestEncoderAndPicture:
    @pytest.mark.parametrize(
        "name, value",
        [("bitrate", 2048), ("frame_rate", 12), ("iframe_interval", 50), ("quant_step", 20), ("param_r", 7),
         ("brightness", 10), ("contrast", 200), ("saturation", 0), ("hue", 255)],
    )
    def test_each_value_round_trips(self, device, name, value):
        setattr(device, name, value)
        assert getattr(device, name) == value

    def test_picture_values_are_128_lower_on_the_device(self, sim, device):
        device.contrast = 200
        device.hue = 0
        picture = port_state(sim)["picture"]
        assert (picture["contrast"], picture["hue"]) == (72, -128)
        # The combined read shows the scale the single-value properties use.
        assert (device.video_settings.contrast, device.video_settings.hue) == (200, 0)

    def test_video_port_selects_whose_values_change(self, sim, device):
        device.video_port = 3
        device.bitrate = 4000
        assert port_state(sim, 3)["encoder"]["bitrate"] == 4000
        assert port_state(sim, 0)["encoder"]["bitrate"] == 512
        device.video_port = 0
        assert device.bitrate == 512

    def test_param_t_is_written_to_the_given_port_and_read_with_the_settings(self, device):
        device.set_param_t(42, video_port=1)
        device.video_port = 1
        assert device.video_settings.param_t == 42

    def test_all_values_at_once_on_the_single_value_scale(self, sim, device):
        settings = device.video_settings
        assert settings == vmlcmd.VideoSettings(param_t=0)
        settings.bitrate, settings.hue, settings.contrast, settings.spare = 1500, 108, 100, 99
        device.set_video_settings(settings)
        assert device.hue == 108
        assert port_state(sim)["picture"]["hue"] == -20
        read = device.video_settings
        assert (read.bitrate, read.hue, read.contrast, read.spare) == (1500, 108, 100, 0)
        sim.clear_requests()
        device.restore_video_defaults()
        # Picture first, encoder second, one login for both.
        assert [r.command for r in sim.requests()] == [Command.LOGIN, Command.WRITE_PICTURE, Command.WRITE_ENCODER]
        assert device.video_settings == vmlcmd.VideoSettings(param_t=0)

    def test_set_video_settings_takes_only_video_settings(self, device):
        with pytest.raises(TypeError):
            device.set_video_settings({"bitrate": 1})


class TestRegionsAndOverlay:
    def test_privacy_mask_and_motion(self, device):
        device.privacy_mask = vmlcmd.Region(True, 8, 16, 320, 240)
        assert device.privacy_mask == vmlcmd.Region(True, 8, 16, 320, 240)
        device.motion = vmlcmd.MotionRegion(True, 0, 0, 64, 48, 75)
        assert device.motion == vmlcmd.MotionRegion(True, 0, 0, 64, 48, 75)
        device.privacy_mask = vmlcmd.Region()
        assert device.privacy_mask.enabled is False

    @pytest.mark.parametrize("position", list(Position))
    def test_caption_at_every_position(self, sim, device, position):
        device.caption = vmlcmd.Caption("Gate 3", position, show=True)
        assert device.caption == vmlcmd.Caption("Gate 3", position, True)
        # The wire carries the position number the device shows.
        assert port_state(sim)["overlay"]["captionPosition"] == int(position)

    @pytest.mark.parametrize(
        "encoding, text, wire",
        [
            ("cp936", "南门 入口", b"\xc4\xcf\xc3\xc5 \xc8\xeb\xbf\xda"),
            ("gbk", "北门", "北门".encode("gbk")),
            ("utf-8", "南门", "南门".encode("utf-8")),
        ],
    )
    def test_caption_text_in_the_device_encoding(self, sim, encoding, text, wire):
        with sim.device(text_encoding=encoding) as camera:
            camera.set_caption(text, Position.TOP_CENTER)
            assert camera.caption.caption == text
        sent = [r.text for r in sim.requests() if r.command == 25][-1]
        assert wire in sent

    def test_caption_bytes_that_are_no_text_come_back_as_bytes_and_write_back_exactly(self, sim, device):
        device.set_caption(b"ok\xff\xfe")
        assert device.caption.caption == b"ok\xff\xfe"
        device.caption = device.caption
        assert device.caption.caption == b"ok\xff\xfe"
        with pytest.raises(ValueError, match="cannot carry"):
            device.set_caption("snow \u2603")

    def test_caption_longer_than_a_request_holds_is_refused_unsent(self, sim, device):
        with pytest.raises(vmlcmd.ArgumentRefusedError) as raised:
            device.set_caption("x" * 300)
        assert isinstance(raised.value, ValueError)
        assert raised.value.code == 15
        assert sim.requests() == []

    def test_caption_refuses_what_the_device_would_read_differently(self, device):
        with pytest.raises(ValueError):
            device.set_caption("north-east")
        with pytest.raises(ValueError):
            device.set_caption("ok", position=9)

    def test_clock_overlay(self, device):
        device.clock_overlay = vmlcmd.ClockOverlay(Position.BOTTOM_LEFT, show=False)
        assert device.clock_overlay == vmlcmd.ClockOverlay(Position.BOTTOM_LEFT, False)

    def test_a_position_outside_the_eight_reads_as_its_number(self, sim, device):
        sim.update_state({"videoPorts": [{"overlay": {"captionShown": True, "captionPosition": 12}}]})
        assert device.caption.position == 12


class TestLibraryFacts:
    def test_vendor_and_outcome_need_no_device(self, sim, device):
        assert device.vendor == "vormel"
        assert device.last_outcome.stage == vmlcmd.Stage.NONE
        device.bitrate
        outcome = device.last_outcome
        assert outcome.stage == vmlcmd.Stage.SUCCESS and outcome.elapsed_us > 0
        assert [r.command for r in sim.requests()] == [Command.LOGIN, Command.READ_ENCODER]
