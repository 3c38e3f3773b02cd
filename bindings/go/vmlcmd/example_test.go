package vmlcmd_test

import (
	"fmt"
	"sync"

	"vmlcmd.local/bindings/go/vmlcmd"
)

// Reads the bitrate of every device at once, one goroutine and one Device per device: a slow
// or dead device holds up nobody else.
func Example_fleet() {
	ports := simulatedPorts() // 100 simulated devices
	bitrates := make([]int, len(ports))
	errs := make([]error, len(ports))
	var wg sync.WaitGroup
	for i, port := range ports {
		wg.Add(1)
		go func(i, port int) {
			defer wg.Done()
			device, err := vmlcmd.Open("127.0.0.1", port, "admin", "admin")
			if err != nil {
				errs[i] = err
				return
			}
			defer device.Close()
			bitrates[i], errs[i] = device.VideoBitrate()
		}(i, port)
	}
	wg.Wait()
	read := 0
	for i := range ports {
		if errs[i] == nil && bitrates[i] == 512 {
			read++
		} else if errs[i] != nil {
			fmt.Println(errs[i])
		}
	}
	fmt.Printf("%d devices, %d read 512 kbit/s\n", len(ports), read)
	// Output: 100 devices, 100 read 512 kbit/s
}
