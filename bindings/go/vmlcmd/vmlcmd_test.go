package vmlcmd_test

import (
	"errors"
	"fmt"
	"net"
	"os"
	"strconv"
	"strings"
	"sync"
	"testing"

	"vmlcmd.local/bindings/go/vmlcmd"
)

// The simulated devices: napi-sim's ports, as tests/capi/with-napi-sim.sh passes them.
func simulatedPorts() []int {
	var ports []int
	for _, field := range strings.Split(os.Getenv("VMLCMD_SIM_PORTS"), ",") {
		if port, err := strconv.Atoi(strings.TrimSpace(field)); err == nil {
			ports = append(ports, port)
		}
	}
	return ports
}

func TestMain(m *testing.M) {
	if len(simulatedPorts()) == 0 {
		fmt.Fprintln(os.Stderr, "run under tests/capi/with-napi-sim.sh NAPI_SIM --devices 100 go test ./...")
		os.Exit(2)
	}
	os.Exit(m.Run())
}

func open(t *testing.T, port int, password string) *vmlcmd.Device {
	t.Helper()
	device, err := vmlcmd.Open("127.0.0.1", port, "admin", password)
	if err != nil {
		t.Fatal(err)
	}
	t.Cleanup(func() { device.Close() })
	return device
}

func closedPort(t *testing.T) int {
	listener, err := net.Listen("tcp", "127.0.0.1:0")
	if err != nil {
		t.Fatal(err)
	}
	port := listener.Addr().(*net.TCPAddr).Port
	listener.Close()
	return port
}

func TestValuesAndAChineseCaptionComeBackAsWritten(t *testing.T) {
	device := open(t, simulatedPorts()[0], "admin")
	if err := device.SetVideoPort(1); err != nil {
		t.Fatal(err)
	}
	if err := device.SetVideoBitrate(1536); err != nil {
		t.Fatal(err)
	}
	if bitrate, err := device.VideoBitrate(); err != nil || bitrate != 1536 {
		t.Errorf("bitrate %d, %v", bitrate, err)
	}
	caption := vmlcmd.Overlay{Show: true, Position: 4, Text: "南门 入口"}
	if err := device.SetCaption(caption); err != nil {
		t.Fatal(err)
	}
	if got, err := device.Caption(); err != nil || got != caption {
		t.Errorf("caption %+v, %v", got, err)
	}
	bsp, err := device.BspVersion()
	napi, errNapi := device.NapiVersion()
	if err != nil || errNapi != nil || bsp <= 0 || napi != bsp {
		t.Errorf("versions %d %d, %v %v", bsp, napi, err, errNapi)
	}
}

func TestErrorsCarryTheirStage(t *testing.T) {
	port := simulatedPorts()[0]
	_, err := open(t, port, "wrong").VideoBitrate()
	var e *vmlcmd.Error
	if !errors.Is(err, vmlcmd.ErrLoginRefused) || !errors.As(err, &e) || e.ReplyStatus != 7 || e.Exchange != 1 {
		t.Errorf("wrong password: %#v", err)
	}
	if err := open(t, closedPort(t), "admin").PtzStop(); !errors.Is(err, vmlcmd.ErrConnectRefused) {
		t.Errorf("closed port: %v", err)
	}
	device := open(t, port, "admin")
	for _, text := range []string{"smile \U0001F600", "nul \x00 inside"} {
		err := device.SetCaption(vmlcmd.Overlay{Show: true, Position: 1, Text: text})
		if !errors.Is(err, vmlcmd.ErrArgumentRefused) {
			t.Errorf("%q: %v", text, err)
		}
	}
	if err := device.PtzPan(0); !errors.Is(err, vmlcmd.ErrArgumentRefused) || errors.Is(err, vmlcmd.ErrLoginRefused) {
		t.Errorf("direction 0: %v", err)
	}
	if _, err := vmlcmd.Open("127.0.0.1", port, strings.Repeat("u", 60), "admin"); !errors.Is(err, vmlcmd.ErrArgumentRefused) {
		t.Errorf("long user name: %v", err)
	}
}

// Goroutines sharing one Device are serialised; Devices on other goroutines, some of them
// refused, each keep their own outcome.
func TestGoroutinesSeeOnlyTheirOwnErrors(t *testing.T) {
	ports := simulatedPorts()
	shared := open(t, ports[0], "admin")
	var wg sync.WaitGroup
	failures := make(chan string, 64)
	for i := 0; i < 16; i++ {
		wg.Add(1)
		go func(i int) {
			defer wg.Done()
			password := "admin"
			if i%2 == 1 {
				password = "wrong"
			}
			own, err := vmlcmd.Open("127.0.0.1", ports[i%len(ports)], "admin", password)
			if err != nil {
				failures <- err.Error()
				return
			}
			defer own.Close()
			for n := 0; n < 10; n++ {
				_, err := own.VideoFrameRate()
				if (password == "wrong") != errors.Is(err, vmlcmd.ErrLoginRefused) || (password == "admin" && err != nil) {
					failures <- fmt.Sprintf("device %d: %v", i, err)
				}
				if _, err := shared.VideoBitrate(); err != nil {
					failures <- fmt.Sprintf("shared device: %v", err)
				}
			}
		}(i)
	}
	wg.Wait()
	close(failures)
	for failure := range failures {
		t.Error(failure)
	}
}
