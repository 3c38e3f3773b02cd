// The .NET binding against napi-sim (VMLCMD_SIM_PORTS, from tests/capi/with-napi-sim.sh): values
// and a Chinese caption written and read back, exceptions by stage, and devices on parallel
// threads that each see only their own failures.
using System;
using System.Linq;
using System.Net;
using System.Net.Sockets;
using System.Threading.Tasks;
using VmlCmd;

static class DeviceTests
{
    static int failures;

    static void Check(bool ok, string what)
    {
        if (ok)
            return;
        Console.Error.WriteLine("FAILED: " + what);
        failures++;
    }

    static T Throws<T>(Action action, string what) where T : DeviceException
    {
        try
        {
            action();
        }
        catch (T expected)
        {
            return expected;
        }
        catch (Exception other)
        {
            Check(false, what + ": " + other.GetType().Name + " " + other.Message);
            return null;
        }
        Check(false, what + ": nothing thrown");
        return null;
    }

    static int ClosedPort()
    {
        var listener = new TcpListener(IPAddress.Loopback, 0);
        listener.Start();
        int port = ((IPEndPoint)listener.LocalEndpoint).Port;
        listener.Stop();
        return port;
    }

    static void RoundTrip(int port)
    {
        using (var camera = new Device("127.0.0.1", port))
        {
            camera.VideoPort = 1;
            camera.VideoBitrate = 1536;
            Check(camera.VideoBitrate == 1536, "the bitrate comes back");
            camera.Caption = new Overlay { Show = true, Position = 4, Text = "南门 入口" };
            var caption = camera.Caption;
            Check(caption.Text == "南门 入口" && caption.Show && caption.Position == 4, "the caption comes back");
            Check(camera.BspVersion > 0 && camera.NapiVersion == camera.BspVersion, "the versions are read");
            var settings = camera.VideoSettings;
            settings.FrameRate = 12;
            camera.VideoSettings = settings;
            Check(camera.VideoFrameRate == 12, "the video settings are written");
        }
    }

    static void ErrorsByStage(int port)
    {
        using (var intruder = new Device("127.0.0.1", port, "admin", "wrong"))
        {
            var refused = Throws<LoginRefusedException>(() => Console.WriteLine(intruder.VideoBitrate), "wrong password");
            Check(refused == null || (refused.Stage == Stage.LoginRefused && refused.ReplyStatus == 7), "status 7");
        }
        using (var nobody = new Device("127.0.0.1", ClosedPort()))
        {
            var refused = Throws<ConnectException>(() => nobody.PtzStop(), "closed port");
            Check(refused == null || refused.Stage == Stage.ConnectRefused, "connect refused");
        }
        using (var camera = new Device("127.0.0.1", port))
        {
            Throws<ArgumentRefusedException>(() => camera.Caption = new Overlay { Show = true, Position = 1,
                                                                                 Text = "smile \U0001F600" },
                                             "a character code page 936 lacks");
            Throws<ArgumentRefusedException>(() => camera.IPAddress = null, "a null text");
        }
        Throws<ArgumentRefusedException>(() => new Device("127.0.0.1", port, new string('u', 60)), "a long user name");
        var disposed = new Device("127.0.0.1", port);
        disposed.Dispose();
        try
        {
            disposed.PtzStop();
            Check(false, "a disposed device refuses calls");
        }
        catch (ObjectDisposedException)
        {
        }
    }

    static void Parallel(int[] ports)
    {
        var outcomes = Enumerable.Range(0, 16).Select(i => Task.Run(() => {
            string password = i % 2 == 0 ? "admin" : "wrong";
            using (var device = new Device("127.0.0.1", ports[i % ports.Length], "admin", password))
            {
                for (int n = 0; n < 10; n++)
                {
                    try
                    {
                        int rate = device.VideoFrameRate;
                        if (password != "admin" || rate <= 0)
                            return "device " + i + " read " + rate;
                    }
                    catch (LoginRefusedException)
                    {
                        if (password == "admin")
                            return "device " + i + " refused";
                    }
                }
            }
            return null;
        })).ToArray();
        Task.WaitAll(outcomes);
        foreach (var outcome in outcomes)
            Check(outcome.Result == null, outcome.Result ?? "");
    }

    static int Main()
    {
        var ports = (Environment.GetEnvironmentVariable("VMLCMD_SIM_PORTS") ?? "")
                        .Split(new[] { ',' }, StringSplitOptions.RemoveEmptyEntries)
                        .Select(int.Parse)
                        .ToArray();
        if (ports.Length == 0)
        {
            Console.Error.WriteLine("run under tests/capi/with-napi-sim.sh NAPI_SIM --devices 8 mono DeviceTests.exe");
            return 2;
        }
        Check(Device.LibraryVersion > 0, "the library's version");
        RoundTrip(ports[0]);
        ErrorsByStage(ports[0]);
        Parallel(ports);
        if (failures == 0)
            Console.WriteLine(".NET binding: all checks passed");
        return failures == 0 ? 0 : 1;
    }
}
