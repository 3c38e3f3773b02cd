// Package vmlcmd drives networked video servers through the VmlCmd library's C interface
// (vmlcmd.h): one Device per server, methods that return (value, error), errors that carry the
// stage where a call ended.
//
// Build with the library's header and shared library where cgo finds them, for example
// CGO_CFLAGS=-I/opt/vmlcmd/include CGO_LDFLAGS="-L/opt/vmlcmd/lib -Wl,-rpath,/opt/vmlcmd/lib".
//
// A Device may be shared by goroutines: its calls are serialised. Devices are independent of
// each other, so the way to drive many servers at once is one Device per server, each on its
// own goroutine.
package vmlcmd

// #cgo LDFLAGS: -lVmlCmd
// #include <stdlib.h>
// #include <VmlCmd/vmlcmd.h>
import "C"

import (
	"strings"
	"sync"
	"time"
	"unsafe"
)

// Device is one video server. Every method except Close is one short transaction with it.
type Device struct {
	mu     sync.Mutex
	handle *C.vmlcmd_device
}

// VideoSettings are all encoder and picture values of a video port at once (device values:
// contrast, saturation and hue are 128 below the 0..255 scale of their single-value methods).
type VideoSettings struct {
	ParamT, Bitrate, FrameRate, IFrameInterval, QuantStep, ParamR int
	Brightness, Contrast, Saturation, Hue                         int
}

// Region is a privacy-mask or motion-detection rectangle; Sensitivity is the motion area's.
type Region struct {
	Enabled                  bool
	Left, Top, Width, Height int
	Sensitivity              int
}

// Overlay is the on-screen caption or clock: Position 1 (top left) to 8 (bottom right).
type Overlay struct {
	Show     bool
	Position int
	Text     string // the caption; unused for the clock
}

// Version is the version of the library that runs, major*10000 + minor*100 + patch.
func Version() int { return int(C.vmlcmd_version()) }

func statusText(status int) string { return C.GoString(C.vmlcmd_status_text(C.int(status))) }

func boolInt(b bool) C.int {
	if b {
		return 1
	}
	return 0
}

// A C copy of a Go string; a string with a NUL cannot be sent whole and is refused.
func cString(op string, s string) (*C.char, error) {
	if strings.IndexByte(s, 0) >= 0 {
		return nil, &Error{Op: op, Stage: StageArgumentRefused}
	}
	return C.CString(s), nil
}

// Open makes a Device for the server at host (dotted IPv4) and port. It sends nothing: the
// first call connects and logs in.
func Open(host string, port int, user, password string) (*Device, error) {
	texts := make([]*C.char, 0, 3)
	defer func() {
		for _, t := range texts {
			C.free(unsafe.Pointer(t))
		}
	}()
	for _, s := range []string{host, user, password} {
		t, err := cString("device_open", s)
		if err != nil {
			return nil, err
		}
		texts = append(texts, t)
	}
	var handle *C.vmlcmd_device
	if status := C.vmlcmd_device_open(texts[0], C.int(port), texts[1], texts[2], &handle); status != 0 {
		return nil, &Error{Op: "device_open", Stage: Stage(status)}
	}
	return &Device{handle: handle}, nil
}

// Close releases the Device; it may be called more than once.
func (d *Device) Close() error {
	d.mu.Lock()
	defer d.mu.Unlock()
	C.vmlcmd_device_close(d.handle)
	d.handle = nil
	return nil
}

// call runs one C function on the handle and turns its status into an error.
func (d *Device) call(op string, f func(*C.vmlcmd_device) C.int) error {
	d.mu.Lock()
	defer d.mu.Unlock()
	if d.handle == nil {
		return &Error{Op: op, Stage: StageArgumentRefused}
	}
	status := f(d.handle)
	if status == 0 {
		return nil
	}
	var result C.vmlcmd_result
	result.size = C.uint(unsafe.Sizeof(result))
	e := &Error{Op: op, Stage: Stage(status)}
	if C.vmlcmd_last_result(d.handle, &result) == 0 {
		e.ReplyStatus = int(result.reply_status)
		e.Exchange = int(result.exchange)
		e.SystemError = int(result.system_error)
		e.Letter = byte(result.letter)
	}
	return e
}

func (d *Device) getInt(op string, f func(*C.vmlcmd_device, *C.int) C.int) (int, error) {
	var value C.int
	err := d.call(op, func(h *C.vmlcmd_device) C.int { return f(h, &value) })
	return int(value), err
}

func (d *Device) setInt(op string, value int, f func(*C.vmlcmd_device, C.int) C.int) error {
	return d.call(op, func(h *C.vmlcmd_device) C.int { return f(h, C.int(value)) })
}

func (d *Device) getText(op string, size int, f func(*C.vmlcmd_device, *C.char, C.size_t) C.int) (string, error) {
	buffer := (*C.char)(C.malloc(C.size_t(size)))
	defer C.free(unsafe.Pointer(buffer))
	err := d.call(op, func(h *C.vmlcmd_device) C.int { return f(h, buffer, C.size_t(size)) })
	if err != nil {
		return "", err
	}
	return C.GoString(buffer), nil
}

func (d *Device) setTexts(op string, f func(*C.vmlcmd_device, []*C.char) C.int, texts ...string) error {
	converted := make([]*C.char, 0, len(texts))
	defer func() {
		for _, t := range converted {
			C.free(unsafe.Pointer(t))
		}
	}()
	for _, s := range texts {
		t, err := cString(op, s)
		if err != nil {
			return err
		}
		converted = append(converted, t)
	}
	return d.call(op, func(h *C.vmlcmd_device) C.int { return f(h, converted) })
}

// SetVideoPort chooses the video port (0 for the first) that the per-port methods address.
func (d *Device) SetVideoPort(port int) error {
	return d.setInt("set_video_port", port, func(h *C.vmlcmd_device, v C.int) C.int { return C.vmlcmd_set_video_port(h, v) })
}

// ---- Clock, account, system ----

// SetDeviceTime sets the server's clock to t's date and time of day.
func (d *Device) SetDeviceTime(t time.Time) error {
	return d.call("set_device_time", func(h *C.vmlcmd_device) C.int {
		return C.vmlcmd_set_device_time(h, C.int(t.Year()), C.int(t.Month()), C.int(t.Day()), C.int(t.Hour()),
			C.int(t.Minute()), C.int(t.Second()))
	})
}

// SendCommand8 sends the bare command 8 (the server never answers it).
func (d *Device) SendCommand8() error {
	return d.call("send_command_8", func(h *C.vmlcmd_device) C.int { return C.vmlcmd_send_command_8(h) })
}

// SendCommand9 sends the bare command 9.
func (d *Device) SendCommand9() error {
	return d.call("send_command_9", func(h *C.vmlcmd_device) C.int { return C.vmlcmd_send_command_9(h) })
}

// SetAccount changes the account the server holds; the Device keeps logging in as opened.
func (d *Device) SetAccount(user, password string) error {
	return d.setTexts("set_account", func(h *C.vmlcmd_device, t []*C.char) C.int {
		return C.vmlcmd_set_account(h, t[0], t[1])
	}, user, password)
}

// SetPortSetting writes the one-byte setting (0 to 255) of a numbered port.
func (d *Device) SetPortSetting(port, value int) error {
	return d.call("set_port_setting", func(h *C.vmlcmd_device) C.int {
		return C.vmlcmd_set_port_setting(h, C.int(port), C.int(value))
	})
}

// ---- Network identity ----

// SetNetworkConfig writes the server's address, subnet mask and gateway in one request.
func (d *Device) SetNetworkConfig(ipAddress, subnetMask, gateway string) error {
	return d.setTexts("set_network_config", func(h *C.vmlcmd_device, t []*C.char) C.int {
		return C.vmlcmd_set_network_config(h, t[0], t[1], t[2])
	}, ipAddress, subnetMask, gateway)
}

// IPAddress reads the server's IPv4 address.
func (d *Device) IPAddress() (string, error) {
	return d.getText("get_ip_address", 64, func(h *C.vmlcmd_device, b *C.char, n C.size_t) C.int {
		return C.vmlcmd_get_ip_address(h, b, n)
	})
}

// SetIPAddress writes the server's IPv4 address.
func (d *Device) SetIPAddress(address string) error {
	return d.setTexts("set_ip_address", func(h *C.vmlcmd_device, t []*C.char) C.int {
		return C.vmlcmd_set_ip_address(h, t[0])
	}, address)
}

// SubnetMask reads the server's subnet mask.
func (d *Device) SubnetMask() (string, error) {
	return d.getText("get_subnet_mask", 64, func(h *C.vmlcmd_device, b *C.char, n C.size_t) C.int {
		return C.vmlcmd_get_subnet_mask(h, b, n)
	})
}

// SetSubnetMask writes the server's subnet mask.
func (d *Device) SetSubnetMask(mask string) error {
	return d.setTexts("set_subnet_mask", func(h *C.vmlcmd_device, t []*C.char) C.int {
		return C.vmlcmd_set_subnet_mask(h, t[0])
	}, mask)
}

// Gateway reads the server's gateway.
func (d *Device) Gateway() (string, error) {
	return d.getText("get_gateway", 64, func(h *C.vmlcmd_device, b *C.char, n C.size_t) C.int {
		return C.vmlcmd_get_gateway(h, b, n)
	})
}

// SetGateway writes the server's gateway.
func (d *Device) SetGateway(gateway string) error {
	return d.setTexts("set_gateway", func(h *C.vmlcmd_device, t []*C.char) C.int {
		return C.vmlcmd_set_gateway(h, t[0])
	}, gateway)
}

// ---- Serial line and PTZ heads ----

// SetPtzProtocol chooses the protocol of a PTZ head (ptzIndex 0 for the first).
func (d *Device) SetPtzProtocol(protocol, ptzIndex int) error {
	return d.call("set_ptz_protocol", func(h *C.vmlcmd_device) C.int {
		return C.vmlcmd_set_ptz_protocol(h, C.int(protocol), C.int(ptzIndex))
	})
}

// SetPtzAddress sets the bus address of a PTZ head (ptzIndex 0 for the first).
func (d *Device) SetPtzAddress(address, ptzIndex int) error {
	return d.call("set_ptz_address", func(h *C.vmlcmd_device) C.int {
		return C.vmlcmd_set_ptz_address(h, C.int(address), C.int(ptzIndex))
	})
}

// SerialBaudRate reads the baud rate of the server's serial port 1.
func (d *Device) SerialBaudRate() (int, error) {
	return d.getInt("get_serial_baud_rate", func(h *C.vmlcmd_device, v *C.int) C.int { return C.vmlcmd_get_serial_baud_rate(h, v) })
}

// BspVersion reads the server's BSP version number.
func (d *Device) BspVersion() (int, error) {
	return d.getInt("get_bsp_version", func(h *C.vmlcmd_device, v *C.int) C.int { return C.vmlcmd_get_bsp_version(h, v) })
}

// NapiVersion reads the server's NAPI version number (the same reply as BspVersion's).
func (d *Device) NapiVersion() (int, error) {
	return d.getInt("get_napi_version", func(h *C.vmlcmd_device, v *C.int) C.int { return C.vmlcmd_get_napi_version(h, v) })
}

// SetSerialBaudRate writes the baud rate of the server's serial port 1.
func (d *Device) SetSerialBaudRate(baudRate int) error {
	return d.setInt("set_serial_baud_rate", baudRate, func(h *C.vmlcmd_device, v C.int) C.int { return C.vmlcmd_set_serial_baud_rate(h, v) })
}

// SetPtzParameters sends the two parameters of the current video port's PTZ head.
func (d *Device) SetPtzParameters(r, s int) error {
	return d.call("set_ptz_parameters", func(h *C.vmlcmd_device) C.int {
		return C.vmlcmd_set_ptz_parameters(h, C.int(r), C.int(s))
	})
}

// ---- PTZ movement: a move lasts until PtzStop; only a direction's sign counts, 0 is refused ----

// PtzAuto switches the head's automatic mode.
func (d *Device) PtzAuto(on bool) error {
	return d.call("ptz_auto", func(h *C.vmlcmd_device) C.int { return C.vmlcmd_ptz_auto(h, boolInt(on)) })
}

// PtzFocus starts focusing.
func (d *Device) PtzFocus(direction int) error {
	return d.setInt("ptz_focus", direction, func(h *C.vmlcmd_device, v C.int) C.int { return C.vmlcmd_ptz_focus(h, v) })
}

// PtzPan starts panning, right for a positive direction.
func (d *Device) PtzPan(direction int) error {
	return d.setInt("ptz_pan", direction, func(h *C.vmlcmd_device, v C.int) C.int { return C.vmlcmd_ptz_pan(h, v) })
}

// PtzTilt starts tilting, up for a positive direction.
func (d *Device) PtzTilt(direction int) error {
	return d.setInt("ptz_tilt", direction, func(h *C.vmlcmd_device, v C.int) C.int { return C.vmlcmd_ptz_tilt(h, v) })
}

// PtzZoom starts zooming.
func (d *Device) PtzZoom(direction int) error {
	return d.setInt("ptz_zoom", direction, func(h *C.vmlcmd_device, v C.int) C.int { return C.vmlcmd_ptz_zoom(h, v) })
}

// PtzIris starts opening or closing the iris.
func (d *Device) PtzIris(direction int) error {
	return d.setInt("ptz_iris", direction, func(h *C.vmlcmd_device, v C.int) C.int { return C.vmlcmd_ptz_iris(h, v) })
}

// PtzStop stops the head.
func (d *Device) PtzStop() error {
	return d.call("ptz_stop", func(h *C.vmlcmd_device) C.int { return C.vmlcmd_ptz_stop(h) })
}

// SendCommand51 sends command 51 with four fields of the caller's.
func (d *Device) SendCommand51(p int, t, a string, o int) error {
	return d.setTexts("send_command_51", func(h *C.vmlcmd_device, s []*C.char) C.int {
		return C.vmlcmd_send_command_51(h, C.int(p), s[0], s[1], C.int(o))
	}, t, a)
}

// SendCommand52 sends command 52 with four fields of the caller's.
func (d *Device) SendCommand52(p int, t, a string, o int) error {
	return d.setTexts("send_command_52", func(h *C.vmlcmd_device, s []*C.char) C.int {
		return C.vmlcmd_send_command_52(h, C.int(p), s[0], s[1], C.int(o))
	}, t, a)
}

// ---- Encoder and picture of the current video port ----

// VideoBitrate reads the encoder bitrate (kbit/s).
func (d *Device) VideoBitrate() (int, error) {
	return d.getInt("get_video_bitrate", func(h *C.vmlcmd_device, v *C.int) C.int { return C.vmlcmd_get_video_bitrate(h, v) })
}

// SetVideoBitrate writes the encoder bitrate (kbit/s).
func (d *Device) SetVideoBitrate(bitrate int) error {
	return d.setInt("set_video_bitrate", bitrate, func(h *C.vmlcmd_device, v C.int) C.int { return C.vmlcmd_set_video_bitrate(h, v) })
}

// VideoFrameRate reads the encoder frame rate.
func (d *Device) VideoFrameRate() (int, error) {
	return d.getInt("get_video_frame_rate", func(h *C.vmlcmd_device, v *C.int) C.int { return C.vmlcmd_get_video_frame_rate(h, v) })
}

// SetVideoFrameRate writes the encoder frame rate.
func (d *Device) SetVideoFrameRate(frameRate int) error {
	return d.setInt("set_video_frame_rate", frameRate, func(h *C.vmlcmd_device, v C.int) C.int { return C.vmlcmd_set_video_frame_rate(h, v) })
}

// VideoIFrameInterval reads the encoder I-frame interval.
func (d *Device) VideoIFrameInterval() (int, error) {
	return d.getInt("get_video_i_frame_interval", func(h *C.vmlcmd_device, v *C.int) C.int {
		return C.vmlcmd_get_video_i_frame_interval(h, v)
	})
}

// SetVideoIFrameInterval writes the encoder I-frame interval.
func (d *Device) SetVideoIFrameInterval(interval int) error {
	return d.setInt("set_video_i_frame_interval", interval, func(h *C.vmlcmd_device, v C.int) C.int {
		return C.vmlcmd_set_video_i_frame_interval(h, v)
	})
}

// VideoParamR reads the encoder parameter r.
func (d *Device) VideoParamR() (int, error) {
	return d.getInt("get_video_param_r", func(h *C.vmlcmd_device, v *C.int) C.int { return C.vmlcmd_get_video_param_r(h, v) })
}

// SetVideoParamR writes the encoder parameter r.
func (d *Device) SetVideoParamR(value int) error {
	return d.setInt("set_video_param_r", value, func(h *C.vmlcmd_device, v C.int) C.int { return C.vmlcmd_set_video_param_r(h, v) })
}

// VideoQuantStep reads the encoder quantiser step.
func (d *Device) VideoQuantStep() (int, error) {
	return d.getInt("get_video_quant_step", func(h *C.vmlcmd_device, v *C.int) C.int { return C.vmlcmd_get_video_quant_step(h, v) })
}

// SetVideoQuantStep writes the encoder quantiser step.
func (d *Device) SetVideoQuantStep(quantStep int) error {
	return d.setInt("set_video_quant_step", quantStep, func(h *C.vmlcmd_device, v C.int) C.int { return C.vmlcmd_set_video_quant_step(h, v) })
}

// SetVideoParamT writes the encoder parameter t as text, to the video port given here.
func (d *Device) SetVideoParamT(text string, videoPort int) error {
	return d.setTexts("set_video_param_t", func(h *C.vmlcmd_device, t []*C.char) C.int {
		return C.vmlcmd_set_video_param_t(h, t[0], C.int(videoPort))
	}, text)
}

// Brightness reads the brightness (0 to 255).
func (d *Device) Brightness() (int, error) {
	return d.getInt("get_brightness", func(h *C.vmlcmd_device, v *C.int) C.int { return C.vmlcmd_get_brightness(h, v) })
}

// SetBrightness writes the brightness (0 to 255).
func (d *Device) SetBrightness(value int) error {
	return d.setInt("set_brightness", value, func(h *C.vmlcmd_device, v C.int) C.int { return C.vmlcmd_set_brightness(h, v) })
}

// Contrast reads the contrast (0 to 255).
func (d *Device) Contrast() (int, error) {
	return d.getInt("get_contrast", func(h *C.vmlcmd_device, v *C.int) C.int { return C.vmlcmd_get_contrast(h, v) })
}

// SetContrast writes the contrast (0 to 255).
func (d *Device) SetContrast(value int) error {
	return d.setInt("set_contrast", value, func(h *C.vmlcmd_device, v C.int) C.int { return C.vmlcmd_set_contrast(h, v) })
}

// Saturation reads the saturation (0 to 255).
func (d *Device) Saturation() (int, error) {
	return d.getInt("get_saturation", func(h *C.vmlcmd_device, v *C.int) C.int { return C.vmlcmd_get_saturation(h, v) })
}

// SetSaturation writes the saturation (0 to 255).
func (d *Device) SetSaturation(value int) error {
	return d.setInt("set_saturation", value, func(h *C.vmlcmd_device, v C.int) C.int { return C.vmlcmd_set_saturation(h, v) })
}

// Hue reads the hue (0 to 255).
func (d *Device) Hue() (int, error) {
	return d.getInt("get_hue", func(h *C.vmlcmd_device, v *C.int) C.int { return C.vmlcmd_get_hue(h, v) })
}

// SetHue writes the hue (0 to 255).
func (d *Device) SetHue(value int) error {
	return d.setInt("set_hue", value, func(h *C.vmlcmd_device, v C.int) C.int { return C.vmlcmd_set_hue(h, v) })
}

// VideoSettings reads all encoder and picture values at once.
func (d *Device) VideoSettings() (VideoSettings, error) {
	var s C.vmlcmd_video_settings
	s.size = C.uint(unsafe.Sizeof(s))
	err := d.call("get_video_settings", func(h *C.vmlcmd_device) C.int { return C.vmlcmd_get_video_settings(h, &s) })
	return VideoSettings{int(s.param_t), int(s.bitrate), int(s.frame_rate), int(s.i_frame_interval), int(s.quant_step),
		int(s.param_r), int(s.brightness), int(s.contrast), int(s.saturation), int(s.hue)}, err
}

// SetVideoSettings writes all encoder and picture values at once (ParamT is not sent).
func (d *Device) SetVideoSettings(v VideoSettings) error {
	s := C.vmlcmd_video_settings{param_t: C.int(v.ParamT), bitrate: C.int(v.Bitrate), frame_rate: C.int(v.FrameRate),
		i_frame_interval: C.int(v.IFrameInterval), quant_step: C.int(v.QuantStep), param_r: C.int(v.ParamR),
		brightness: C.int(v.Brightness), contrast: C.int(v.Contrast), saturation: C.int(v.Saturation), hue: C.int(v.Hue)}
	s.size = C.uint(unsafe.Sizeof(s))
	return d.call("set_video_settings", func(h *C.vmlcmd_device) C.int { return C.vmlcmd_set_video_settings(h, &s) })
}

// RestoreVideoDefaults writes the default encoder and picture values.
func (d *Device) RestoreVideoDefaults() error {
	return d.call("restore_video_defaults", func(h *C.vmlcmd_device) C.int { return C.vmlcmd_restore_video_defaults(h) })
}

// ---- Regions and overlay of the current video port ----

// MaskRegion reads the privacy-mask rectangle.
func (d *Device) MaskRegion() (Region, error) {
	var e, l, t, w, ht C.int
	err := d.call("get_mask_region", func(h *C.vmlcmd_device) C.int {
		return C.vmlcmd_get_mask_region(h, &e, &l, &t, &w, &ht)
	})
	return Region{Enabled: e != 0, Left: int(l), Top: int(t), Width: int(w), Height: int(ht)}, err
}

// SetMaskRegion writes the privacy-mask rectangle (Sensitivity is not used).
func (d *Device) SetMaskRegion(r Region) error {
	return d.call("set_mask_region", func(h *C.vmlcmd_device) C.int {
		return C.vmlcmd_set_mask_region(h, boolInt(r.Enabled), C.int(r.Left), C.int(r.Top), C.int(r.Width), C.int(r.Height))
	})
}

// MotionRegion reads the motion-detection rectangle and its sensitivity.
func (d *Device) MotionRegion() (Region, error) {
	var e, l, t, w, ht, s C.int
	err := d.call("get_motion_region", func(h *C.vmlcmd_device) C.int {
		return C.vmlcmd_get_motion_region(h, &e, &l, &t, &w, &ht, &s)
	})
	return Region{Enabled: e != 0, Left: int(l), Top: int(t), Width: int(w), Height: int(ht), Sensitivity: int(s)}, err
}

// SetMotionRegion writes the motion-detection rectangle and its sensitivity.
func (d *Device) SetMotionRegion(r Region) error {
	return d.call("set_motion_region", func(h *C.vmlcmd_device) C.int {
		return C.vmlcmd_set_motion_region(h, boolInt(r.Enabled), C.int(r.Left), C.int(r.Top), C.int(r.Width),
			C.int(r.Height), C.int(r.Sensitivity))
	})
}

// Caption reads the on-screen caption.
func (d *Device) Caption() (Overlay, error) {
	const size = 1024
	var show, position C.int
	buffer := (*C.char)(C.malloc(size))
	defer C.free(unsafe.Pointer(buffer))
	err := d.call("get_osd_caption", func(h *C.vmlcmd_device) C.int {
		return C.vmlcmd_get_osd_caption(h, &show, &position, buffer, size)
	})
	if err != nil {
		return Overlay{}, err
	}
	return Overlay{Show: show != 0, Position: int(position), Text: C.GoString(buffer)}, nil
}

// SetCaption writes the on-screen caption. Its text must fit the server's code page 936
// (Simplified Chinese and ASCII); other characters are refused with StageArgumentRefused.
func (d *Device) SetCaption(o Overlay) error {
	return d.setTexts("set_osd_caption", func(h *C.vmlcmd_device, t []*C.char) C.int {
		return C.vmlcmd_set_osd_caption(h, boolInt(o.Show), C.int(o.Position), t[0])
	}, o.Text)
}

// Clock reads the on-screen clock.
func (d *Device) Clock() (Overlay, error) {
	var show, position C.int
	err := d.call("get_osd_time", func(h *C.vmlcmd_device) C.int { return C.vmlcmd_get_osd_time(h, &show, &position) })
	return Overlay{Show: show != 0, Position: int(position)}, err
}

// SetClock shows or hides the on-screen clock at a position.
func (d *Device) SetClock(o Overlay) error {
	return d.call("set_osd_time", func(h *C.vmlcmd_device) C.int {
		return C.vmlcmd_set_osd_time(h, boolInt(o.Show), C.int(o.Position))
	})
}
