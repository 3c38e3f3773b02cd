// VmlCmd for .NET: one source file over the library's C interface (vmlcmd.h) through P/Invoke.
// Add it to a project and put VmlCmd.dll (Windows, the one matching the process: x86 or x64)
// or libVmlCmd.so (Linux) where the runtime finds it. Texts cross as UTF-8; the library
// converts them to and from the device's code page 936.
//
//   using (var camera = new VmlCmd.Device("192.0.2.10", 8000, "admin", "admin"))
//   {
//       camera.VideoBitrate = 1024;               // one transaction; failures throw
//       Console.WriteLine(camera.VideoBitrate);
//   }
//
// A failed call throws the DeviceException subclass of the stage where it ended
// (LoginRefusedException, ConnectException, ReplyStatusException, ...), with the details the
// library kept. A Device may be shared by threads (its calls are serialised); different Devices
// are fully independent, so many devices are driven at once with one Device each.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace VmlCmd
{
    /// <summary>Where a failed call ended: the statuses of vmlcmd.h.</summary>
    public enum Stage
    {
        NoNetworkLink = 2,
        ArgumentRefused = 3,
        AddressInvalid = 4,
        ConnectRefused = 5,
        ConnectTimedOut = 6,
        ConnectFailed = 7,
        LoginRefused = 8,
        SendFailed = 9,
        ReplyTimedOut = 10,
        ClosedByDevice = 11,
        ReceiveFailed = 12,
        ReplyStatus = 13,
        ValueMissing = 14,
        OutOfMemory = 100,
    }

    /// <summary>A failed call: its stage and the details the library kept.</summary>
    public class DeviceException : Exception
    {
        public DeviceException(string operation, Stage stage, int replyStatus, int exchange, int systemError,
                               char letter)
            : base(Describe(operation, stage, replyStatus))
        {
            Operation = operation;
            Stage = stage;
            ReplyStatus = replyStatus;
            Exchange = exchange;
            SystemError = systemError;
            Letter = letter;
        }

        /// <summary>The C function, e.g. "get_video_bitrate".</summary>
        public string Operation { get; private set; }
        public Stage Stage { get; private set; }
        /// <summary>The device's status for a refused login or request, else 0.</summary>
        public int ReplyStatus { get; private set; }
        /// <summary>0 nothing sent, 1 the login, 2 the request, 3 the second request.</summary>
        public int Exchange { get; private set; }
        /// <summary>errno or the Winsock error, where there is one.</summary>
        public int SystemError { get; private set; }
        /// <summary>For a missing value: the letter the reply lacked.</summary>
        public char Letter { get; private set; }

        static string Describe(string operation, Stage stage, int replyStatus)
        {
            string text = operation + ": " + Native.StatusText((int)stage);
            return stage == Stage.LoginRefused || stage == Stage.ReplyStatus
                       ? text + " (status " + replyStatus + ")"
                       : text;
        }

        internal static DeviceException Create(string operation, Stage stage, int replyStatus, int exchange,
                                               int systemError, char letter)
        {
            switch (stage)
            {
            case Stage.ArgumentRefused:
                return new ArgumentRefusedException(operation, stage, replyStatus, exchange, systemError, letter);
            case Stage.AddressInvalid:
            case Stage.ConnectRefused:
            case Stage.ConnectTimedOut:
            case Stage.ConnectFailed:
                return new ConnectException(operation, stage, replyStatus, exchange, systemError, letter);
            case Stage.LoginRefused:
                return new LoginRefusedException(operation, stage, replyStatus, exchange, systemError, letter);
            case Stage.ReplyTimedOut:
                return new ReplyTimeoutException(operation, stage, replyStatus, exchange, systemError, letter);
            case Stage.ClosedByDevice:
            case Stage.ReceiveFailed:
            case Stage.SendFailed:
                return new ConnectionLostException(operation, stage, replyStatus, exchange, systemError, letter);
            case Stage.ReplyStatus:
                return new ReplyStatusException(operation, stage, replyStatus, exchange, systemError, letter);
            case Stage.ValueMissing:
                return new ValueMissingException(operation, stage, replyStatus, exchange, systemError, letter);
            default:
                return new DeviceException(operation, stage, replyStatus, exchange, systemError, letter);
            }
        }
    }

    /// <summary>An argument was refused before anything was sent (a text the device's code page
    /// cannot carry, a value out of range, a text too long for the request).</summary>
    public class ArgumentRefusedException : DeviceException
    {
        public ArgumentRefusedException(string o, Stage s, int r, int e, int y, char l) : base(o, s, r, e, y, l) {}
    }
    /// <summary>No connection: refused, timed out (100 ms), failed, or an address that is not IPv4.</summary>
    public class ConnectException : DeviceException
    {
        public ConnectException(string o, Stage s, int r, int e, int y, char l) : base(o, s, r, e, y, l) {}
    }
    /// <summary>The device refused the login (wrong user name or password); see ReplyStatus.</summary>
    public class LoginRefusedException : DeviceException
    {
        public LoginRefusedException(string o, Stage s, int r, int e, int y, char l) : base(o, s, r, e, y, l) {}
    }
    /// <summary>No reply within one second.</summary>
    public class ReplyTimeoutException : DeviceException
    {
        public ReplyTimeoutException(string o, Stage s, int r, int e, int y, char l) : base(o, s, r, e, y, l) {}
    }
    /// <summary>The connection broke: a request not sent, closed by the device, a failed receive.</summary>
    public class ConnectionLostException : DeviceException
    {
        public ConnectionLostException(string o, Stage s, int r, int e, int y, char l) : base(o, s, r, e, y, l) {}
    }
    /// <summary>The device refused the request; see ReplyStatus (3 an invalid argument, 5 a wrong video port, ...).</summary>
    public class ReplyStatusException : DeviceException
    {
        public ReplyStatusException(string o, Stage s, int r, int e, int y, char l) : base(o, s, r, e, y, l) {}
    }
    /// <summary>The reply lacked a value; see Letter.</summary>
    public class ValueMissingException : DeviceException
    {
        public ValueMissingException(string o, Stage s, int r, int e, int y, char l) : base(o, s, r, e, y, l) {}
    }

    /// <summary>A privacy-mask or motion-detection rectangle; Sensitivity is the motion area's.</summary>
    public struct Region
    {
        public bool Enabled;
        public int Left, Top, Width, Height, Sensitivity;
    }

    /// <summary>The on-screen caption or clock: Position 1 (top left) to 8 (bottom right).</summary>
    public struct Overlay
    {
        public bool Show;
        public int Position;
        public string Text;
    }

    /// <summary>All encoder and picture values of a video port (device values: contrast,
    /// saturation and hue are 128 below the 0..255 scale of the single-value properties).</summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct VideoSettings
    {
        internal uint Size;
        public int ParamT, Bitrate, FrameRate, IFrameInterval, QuantStep, ParamR;
        public int Brightness, Contrast, Saturation, Hue;
    }

    /// <summary>One video server. Every member except Dispose and VideoPort's setter is one
    /// short transaction with it (at most about 2 s, 3 s for the video settings).</summary>
    public sealed class Device : IDisposable
    {
        readonly DeviceHandle handle;
        readonly object gate = new object();
        int videoPort;

        /// <summary>A device at host (dotted IPv4) and port. Sends nothing: the first call
        /// connects and logs in.</summary>
        public Device(string host, int port, string user = "admin", string password = "admin")
        {
            DeviceHandle opened;
            int status = Native.vmlcmd_device_open(Native.Utf8(host), port, Native.Utf8(user), Native.Utf8(password),
                                                   out opened);
            if (status != 0)
                throw DeviceException.Create("device_open", (Stage)status, 0, 0, 0, '\0');
            handle = opened;
        }

        public void Dispose()
        {
            handle.Dispose();
        }

        /// <summary>The library's version, major * 10000 + minor * 100 + patch.</summary>
        public static int LibraryVersion
        {
            get { return Native.vmlcmd_version(); }
        }

        delegate int Call(DeviceHandle h);

        void Run(string operation, Call call)
        {
            lock (gate)
            {
                if (handle.IsClosed)
                    throw new ObjectDisposedException("Device");
                int status = call(handle);
                if (status == 0)
                    return;
                var result = new Native.Result();
                result.Size = (uint)Marshal.SizeOf(typeof(Native.Result));
                Native.vmlcmd_last_result(handle, ref result);
                throw DeviceException.Create(operation, (Stage)status, result.ReplyStatus, result.Exchange,
                                             result.SystemError, (char)result.Letter);
            }
        }

        int Get(string operation, Native.Getter getter)
        {
            int value = 0;
            Run(operation, h => getter(h, out value));
            return value;
        }

        string GetAddress(string operation, Native.TextGetter getter)
        {
            var buffer = new byte[64];
            Run(operation, h => getter(h, buffer, (UIntPtr)buffer.Length));
            return Native.FromUtf8(buffer);
        }

        /// <summary>The video port (0 for the first) that the per-port members address.</summary>
        public int VideoPort
        {
            get { return videoPort; }
            set
            {
                Run("set_video_port", h => Native.vmlcmd_set_video_port(h, value));
                videoPort = value;
            }
        }

        // ---- Clock, account, system ----

        public void SetDeviceTime(DateTime time)
        {
            Run("set_device_time", h => Native.vmlcmd_set_device_time(h, time.Year, time.Month, time.Day, time.Hour,
                                                                         time.Minute, time.Second));
        }
        public void SendCommand8() { Run("send_command_8", Native.vmlcmd_send_command_8); }
        public void SendCommand9() { Run("send_command_9", Native.vmlcmd_send_command_9); }
        /// <summary>Changes the account the device holds; this object keeps logging in as opened.</summary>
        public void SetAccount(string user, string password)
        {
            Run("set_account", h => Native.vmlcmd_set_account(h, Native.Utf8(user), Native.Utf8(password)));
        }
        public void SetPortSetting(int port, int value)
        {
            Run("set_port_setting", h => Native.vmlcmd_set_port_setting(h, port, value));
        }

        // ---- Network identity ----

        public void SetNetworkConfig(string ipAddress, string subnetMask, string gateway)
        {
            Run("set_network_config", h => Native.vmlcmd_set_network_config(h, Native.Utf8(ipAddress),
                                                                               Native.Utf8(subnetMask),
                                                                               Native.Utf8(gateway)));
        }
        public string IPAddress
        {
            get { return GetAddress("get_ip_address", Native.vmlcmd_get_ip_address); }
            set { Run("set_ip_address", h => Native.vmlcmd_set_ip_address(h, Native.Utf8(value))); }
        }
        public string SubnetMask
        {
            get { return GetAddress("get_subnet_mask", Native.vmlcmd_get_subnet_mask); }
            set { Run("set_subnet_mask", h => Native.vmlcmd_set_subnet_mask(h, Native.Utf8(value))); }
        }
        public string Gateway
        {
            get { return GetAddress("get_gateway", Native.vmlcmd_get_gateway); }
            set { Run("set_gateway", h => Native.vmlcmd_set_gateway(h, Native.Utf8(value))); }
        }

        // ---- Serial line and PTZ heads ----

        public void SetPtzProtocol(int protocol, int ptzIndex)
        {
            Run("set_ptz_protocol", h => Native.vmlcmd_set_ptz_protocol(h, protocol, ptzIndex));
        }
        public void SetPtzAddress(int address, int ptzIndex)
        {
            Run("set_ptz_address", h => Native.vmlcmd_set_ptz_address(h, address, ptzIndex));
        }
        public int SerialBaudRate
        {
            get { return Get("get_serial_baud_rate", Native.vmlcmd_get_serial_baud_rate); }
            set { Run("set_serial_baud_rate", h => Native.vmlcmd_set_serial_baud_rate(h, value)); }
        }
        public int BspVersion
        {
            get { return Get("get_bsp_version", Native.vmlcmd_get_bsp_version); }
        }
        // The same reply as BspVersion's.
        public int NapiVersion
        {
            get { return Get("get_napi_version", Native.vmlcmd_get_napi_version); }
        }
        public void SetPtzParameters(int r, int s)
        {
            Run("set_ptz_parameters", h => Native.vmlcmd_set_ptz_parameters(h, r, s));
        }

        // ---- PTZ movement: a move lasts until PtzStop; only a direction's sign counts ----

        public void PtzAuto(bool on) { Run("ptz_auto", h => Native.vmlcmd_ptz_auto(h, on ? 1 : 0)); }
        public void PtzFocus(int direction) { Run("ptz_focus", h => Native.vmlcmd_ptz_focus(h, direction)); }
        /// <summary>Starts panning, right for a positive direction.</summary>
        public void PtzPan(int direction) { Run("ptz_pan", h => Native.vmlcmd_ptz_pan(h, direction)); }
        /// <summary>Starts tilting, up for a positive direction.</summary>
        public void PtzTilt(int direction) { Run("ptz_tilt", h => Native.vmlcmd_ptz_tilt(h, direction)); }
        public void PtzZoom(int direction) { Run("ptz_zoom", h => Native.vmlcmd_ptz_zoom(h, direction)); }
        public void PtzIris(int direction) { Run("ptz_iris", h => Native.vmlcmd_ptz_iris(h, direction)); }
        public void PtzStop() { Run("ptz_stop", Native.vmlcmd_ptz_stop); }

        public void SendCommand51(int p, string t, string a, int o)
        {
            Run("send_command_51", h => Native.vmlcmd_send_command_51(h, p, Native.Utf8(t), Native.Utf8(a), o));
        }
        public void SendCommand52(int p, string t, string a, int o)
        {
            Run("send_command_52", h => Native.vmlcmd_send_command_52(h, p, Native.Utf8(t), Native.Utf8(a), o));
        }

        // ---- Encoder and picture of the current video port ----

        /// <summary>The encoder bitrate in kbit/s.</summary>
        public int VideoBitrate
        {
            get { return Get("get_video_bitrate", Native.vmlcmd_get_video_bitrate); }
            set { Run("set_video_bitrate", h => Native.vmlcmd_set_video_bitrate(h, value)); }
        }
        public int VideoFrameRate
        {
            get { return Get("get_video_frame_rate", Native.vmlcmd_get_video_frame_rate); }
            set { Run("set_video_frame_rate", h => Native.vmlcmd_set_video_frame_rate(h, value)); }
        }
        public int VideoIFrameInterval
        {
            get { return Get("get_video_i_frame_interval", Native.vmlcmd_get_video_i_frame_interval); }
            set { Run("set_video_i_frame_interval", h => Native.vmlcmd_set_video_i_frame_interval(h, value)); }
        }
        public int VideoParamR
        {
            get { return Get("get_video_param_r", Native.vmlcmd_get_video_param_r); }
            set { Run("set_video_param_r", h => Native.vmlcmd_set_video_param_r(h, value)); }
        }
        public int VideoQuantStep
        {
            get { return Get("get_video_quant_step", Native.vmlcmd_get_video_quant_step); }
            set { Run("set_video_quant_step", h => Native.vmlcmd_set_video_quant_step(h, value)); }
        }
        /// <summary>Writes the encoder parameter t as text, to the video port given here.</summary>
        public void SetVideoParamT(string text, int videoPortNumber)
        {
            Run("set_video_param_t", h => Native.vmlcmd_set_video_param_t(h, Native.Utf8(text), videoPortNumber));
        }
        public int Brightness
        {
            get { return Get("get_brightness", Native.vmlcmd_get_brightness); }
            set { Run("set_brightness", h => Native.vmlcmd_set_brightness(h, value)); }
        }
        public int Contrast
        {
            get { return Get("get_contrast", Native.vmlcmd_get_contrast); }
            set { Run("set_contrast", h => Native.vmlcmd_set_contrast(h, value)); }
        }
        public int Saturation
        {
            get { return Get("get_saturation", Native.vmlcmd_get_saturation); }
            set { Run("set_saturation", h => Native.vmlcmd_set_saturation(h, value)); }
        }
        public int Hue
        {
            get { return Get("get_hue", Native.vmlcmd_get_hue); }
            set { Run("set_hue", h => Native.vmlcmd_set_hue(h, value)); }
        }
        /// <summary>All encoder and picture values at once (two requests after one login).</summary>
        public VideoSettings VideoSettings
        {
            get
            {
                var settings = new VideoSettings();
                settings.Size = (uint)Marshal.SizeOf(typeof(VideoSettings));
                Run("get_video_settings", h => Native.vmlcmd_get_video_settings(h, ref settings));
                return settings;
            }
            set
            {
                var settings = value;
                settings.Size = (uint)Marshal.SizeOf(typeof(VideoSettings));
                Run("set_video_settings", h => Native.vmlcmd_set_video_settings(h, ref settings));
            }
        }
        public void RestoreVideoDefaults() { Run("restore_video_defaults", Native.vmlcmd_restore_video_defaults); }

        // ---- Regions and overlay of the current video port ----

        public Region MaskRegion
        {
            get
            {
                int e = 0, l = 0, t = 0, w = 0, ht = 0;
                Run("get_mask_region", h => Native.vmlcmd_get_mask_region(h, out e, out l, out t, out w, out ht));
                return new Region { Enabled = e != 0, Left = l, Top = t, Width = w, Height = ht };
            }
            set
            {
                var r = value;
                Run("set_mask_region", h => Native.vmlcmd_set_mask_region(h, r.Enabled ? 1 : 0, r.Left, r.Top, r.Width,
                                                                             r.Height));
            }
        }
        public Region MotionRegion
        {
            get
            {
                int e = 0, l = 0, t = 0, w = 0, ht = 0, s = 0;
                Run("get_motion_region",
                    h => Native.vmlcmd_get_motion_region(h, out e, out l, out t, out w, out ht, out s));
                return new Region { Enabled = e != 0, Left = l, Top = t, Width = w, Height = ht, Sensitivity = s };
            }
            set
            {
                var r = value;
                Run("set_motion_region", h => Native.vmlcmd_set_motion_region(h, r.Enabled ? 1 : 0, r.Left, r.Top,
                                                                                 r.Width, r.Height, r.Sensitivity));
            }
        }
        /// <summary>The on-screen caption. Its text must fit code page 936 (Simplified Chinese
        /// and ASCII); other characters throw ArgumentRefusedException.</summary>
        public Overlay Caption
        {
            get
            {
                int show = 0, position = 0;
                var buffer = new byte[1024];
                Run("get_osd_caption",
                    h => Native.vmlcmd_get_osd_caption(h, out show, out position, buffer, (UIntPtr)buffer.Length));
                return new Overlay { Show = show != 0, Position = position, Text = Native.FromUtf8(buffer) };
            }
            set
            {
                var o = value;
                Run("set_osd_caption", h => Native.vmlcmd_set_osd_caption(h, o.Show ? 1 : 0, o.Position,
                                                                             Native.Utf8(o.Text)));
            }
        }
        /// <summary>The on-screen clock (Text unused).</summary>
        public Overlay Clock
        {
            get
            {
                int show = 0, position = 0;
                Run("get_osd_time", h => Native.vmlcmd_get_osd_time(h, out show, out position));
                return new Overlay { Show = show != 0, Position = position };
            }
            set
            {
                var o = value;
                Run("set_osd_time", h => Native.vmlcmd_set_osd_time(h, o.Show ? 1 : 0, o.Position));
            }
        }
    }

    /// <summary>The handle of vmlcmd.h, closed exactly once.</summary>
    sealed class DeviceHandle : SafeHandle
    {
        public DeviceHandle() : base(IntPtr.Zero, true) {}
        public override bool IsInvalid
        {
            get { return handle == IntPtr.Zero; }
        }
        protected override bool ReleaseHandle()
        {
            Native.vmlcmd_device_close(handle);
            return true;
        }
    }

    // The C functions. CallingConvention.Winapi is __stdcall on 32-bit Windows and the
    // platform's convention elsewhere, as VMLCMD_CALL declares them.
    static class Native
    {
        const string Library = "VmlCmd";

        [StructLayout(LayoutKind.Sequential)]
        internal struct Result
        {
            public uint Size;
            public int Status, ReplyStatus, Exchange, SystemError;
            public uint ElapsedMicroseconds;
            public byte Letter, Reserved0, Reserved1, Reserved2;
        }

        internal delegate int Getter(DeviceHandle h, out int value);
        internal delegate int TextGetter(DeviceHandle h, byte[] buffer, UIntPtr size);

        // UTF-8 with its NUL, marshalled as a pointer to the pinned array; null stays null (the
        // library refuses it).
        internal static byte[] Utf8(string text)
        {
            return text == null ? null : Encoding.UTF8.GetBytes(text + "\0");
        }
        internal static string FromUtf8(byte[] buffer)
        {
            int length = Array.IndexOf(buffer, (byte)0);
            return Encoding.UTF8.GetString(buffer, 0, length < 0 ? buffer.Length : length);
        }
        internal static string StatusText(int status)
        {
            return Marshal.PtrToStringAnsi(vmlcmd_status_text(status));
        }

        [DllImport(Library)] internal static extern int vmlcmd_device_open(byte[] host, int port, byte[] user, byte[] password, out DeviceHandle device);
        [DllImport(Library)] internal static extern void vmlcmd_device_close(IntPtr device);
        [DllImport(Library)] internal static extern int vmlcmd_set_video_port(DeviceHandle d, int videoPort);
        [DllImport(Library)] internal static extern int vmlcmd_last_result(DeviceHandle d, ref Result result);
        [DllImport(Library)] internal static extern IntPtr vmlcmd_status_text(int status);
        [DllImport(Library)] internal static extern int vmlcmd_version();

        [DllImport(Library)] internal static extern int vmlcmd_set_device_time(DeviceHandle d, int year, int month, int day, int hour, int minute, int second);
        [DllImport(Library)] internal static extern int vmlcmd_send_command_8(DeviceHandle d);
        [DllImport(Library)] internal static extern int vmlcmd_send_command_9(DeviceHandle d);
        [DllImport(Library)] internal static extern int vmlcmd_set_account(DeviceHandle d, byte[] user, byte[] password);
        [DllImport(Library)] internal static extern int vmlcmd_set_port_setting(DeviceHandle d, int port, int value);
        [DllImport(Library)] internal static extern int vmlcmd_set_network_config(DeviceHandle d, byte[] ip, byte[] mask, byte[] gateway);
        [DllImport(Library)] internal static extern int vmlcmd_set_ip_address(DeviceHandle d, byte[] text);
        [DllImport(Library)] internal static extern int vmlcmd_get_ip_address(DeviceHandle d, byte[] buffer, UIntPtr size);
        [DllImport(Library)] internal static extern int vmlcmd_set_subnet_mask(DeviceHandle d, byte[] text);
        [DllImport(Library)] internal static extern int vmlcmd_get_subnet_mask(DeviceHandle d, byte[] buffer, UIntPtr size);
        [DllImport(Library)] internal static extern int vmlcmd_set_gateway(DeviceHandle d, byte[] text);
        [DllImport(Library)] internal static extern int vmlcmd_get_gateway(DeviceHandle d, byte[] buffer, UIntPtr size);
        [DllImport(Library)] internal static extern int vmlcmd_set_ptz_protocol(DeviceHandle d, int protocol, int ptzIndex);
        [DllImport(Library)] internal static extern int vmlcmd_set_ptz_address(DeviceHandle d, int address, int ptzIndex);
        [DllImport(Library)] internal static extern int vmlcmd_set_serial_baud_rate(DeviceHandle d, int value);
        [DllImport(Library)] internal static extern int vmlcmd_get_serial_baud_rate(DeviceHandle d, out int value);
        [DllImport(Library)] internal static extern int vmlcmd_get_bsp_version(DeviceHandle d, out int value);
        [DllImport(Library)] internal static extern int vmlcmd_get_napi_version(DeviceHandle d, out int value);
        [DllImport(Library)] internal static extern int vmlcmd_set_ptz_parameters(DeviceHandle d, int r, int s);
        [DllImport(Library)] internal static extern int vmlcmd_ptz_auto(DeviceHandle d, int on);
        [DllImport(Library)] internal static extern int vmlcmd_ptz_focus(DeviceHandle d, int direction);
        [DllImport(Library)] internal static extern int vmlcmd_ptz_pan(DeviceHandle d, int direction);
        [DllImport(Library)] internal static extern int vmlcmd_ptz_tilt(DeviceHandle d, int direction);
        [DllImport(Library)] internal static extern int vmlcmd_ptz_zoom(DeviceHandle d, int direction);
        [DllImport(Library)] internal static extern int vmlcmd_ptz_iris(DeviceHandle d, int direction);
        [DllImport(Library)] internal static extern int vmlcmd_ptz_stop(DeviceHandle d);
        [DllImport(Library)] internal static extern int vmlcmd_send_command_51(DeviceHandle d, int p, byte[] t, byte[] a, int o);
        [DllImport(Library)] internal static extern int vmlcmd_send_command_52(DeviceHandle d, int p, byte[] t, byte[] a, int o);
        [DllImport(Library)] internal static extern int vmlcmd_set_video_bitrate(DeviceHandle d, int value);
        [DllImport(Library)] internal static extern int vmlcmd_get_video_bitrate(DeviceHandle d, out int value);
        [DllImport(Library)] internal static extern int vmlcmd_set_video_frame_rate(DeviceHandle d, int value);
        [DllImport(Library)] internal static extern int vmlcmd_get_video_frame_rate(DeviceHandle d, out int value);
        [DllImport(Library)] internal static extern int vmlcmd_set_video_i_frame_interval(DeviceHandle d, int value);
        [DllImport(Library)] internal static extern int vmlcmd_get_video_i_frame_interval(DeviceHandle d, out int value);
        [DllImport(Library)] internal static extern int vmlcmd_set_video_param_r(DeviceHandle d, int value);
        [DllImport(Library)] internal static extern int vmlcmd_get_video_param_r(DeviceHandle d, out int value);
        [DllImport(Library)] internal static extern int vmlcmd_set_video_quant_step(DeviceHandle d, int value);
        [DllImport(Library)] internal static extern int vmlcmd_get_video_quant_step(DeviceHandle d, out int value);
        [DllImport(Library)] internal static extern int vmlcmd_set_video_param_t(DeviceHandle d, byte[] text, int videoPort);
        [DllImport(Library)] internal static extern int vmlcmd_set_brightness(DeviceHandle d, int value);
        [DllImport(Library)] internal static extern int vmlcmd_get_brightness(DeviceHandle d, out int value);
        [DllImport(Library)] internal static extern int vmlcmd_set_contrast(DeviceHandle d, int value);
        [DllImport(Library)] internal static extern int vmlcmd_get_contrast(DeviceHandle d, out int value);
        [DllImport(Library)] internal static extern int vmlcmd_set_saturation(DeviceHandle d, int value);
        [DllImport(Library)] internal static extern int vmlcmd_get_saturation(DeviceHandle d, out int value);
        [DllImport(Library)] internal static extern int vmlcmd_set_hue(DeviceHandle d, int value);
        [DllImport(Library)] internal static extern int vmlcmd_get_hue(DeviceHandle d, out int value);
        [DllImport(Library)] internal static extern int vmlcmd_get_video_settings(DeviceHandle d, ref VideoSettings settings);
        [DllImport(Library)] internal static extern int vmlcmd_set_video_settings(DeviceHandle d, ref VideoSettings settings);
        [DllImport(Library)] internal static extern int vmlcmd_restore_video_defaults(DeviceHandle d);
        [DllImport(Library)] internal static extern int vmlcmd_set_mask_region(DeviceHandle d, int enabled, int left, int top, int width, int height);
        [DllImport(Library)] internal static extern int vmlcmd_get_mask_region(DeviceHandle d, out int enabled, out int left, out int top, out int width, out int height);
        [DllImport(Library)] internal static extern int vmlcmd_set_motion_region(DeviceHandle d, int enabled, int left, int top, int width, int height, int sensitivity);
        [DllImport(Library)] internal static extern int vmlcmd_get_motion_region(DeviceHandle d, out int enabled, out int left, out int top, out int width, out int height, out int sensitivity);
        [DllImport(Library)] internal static extern int vmlcmd_set_osd_caption(DeviceHandle d, int show, int position, byte[] text);
        [DllImport(Library)] internal static extern int vmlcmd_get_osd_caption(DeviceHandle d, out int show, out int position, byte[] text, UIntPtr size);
        [DllImport(Library)] internal static extern int vmlcmd_set_osd_time(DeviceHandle d, int show, int position);
        [DllImport(Library)] internal static extern int vmlcmd_get_osd_time(DeviceHandle d, out int show, out int position);
    }
}
