// The operations, slot by slot. Each entry says what the header says, what goes on the wire and
// what the result code does, and carries one example that ReferenceTest runs.
#include "reference/Operations.h"

#include <cstring>
#include <utility>

#include "support/TableSlot.h"

namespace vml::reference {
namespace {

using vmltest::SlotOf;

#define SLOT(number, Name) number, #Name, SlotOf(&ICommand::Name)
#define OUTSIDE(Name) -1, #Name, -1
#define CALL(...) [](ICommand& c) -> std::int64_t { return (__VA_ARGS__); }
#define RUN(...) [](ICommand& c) -> std::int64_t { __VA_ARGS__ }

constexpr char kLibrary[] = "Library object";
constexpr char kLinks[] = "Links";
constexpr char kNetwork[] = "Network identity";
constexpr char kSerial[] = "Serial line and PTZ setup";
constexpr char kSystem[] = "Clock, account and system";
constexpr char kPtz[] = "PTZ movement";
constexpr char kPassThrough[] = "Commands 51 and 52";
constexpr char kEncoder[] = "Encoder";
constexpr char kPicture[] = "Picture";
constexpr char kCombined[] = "All video settings";
constexpr char kRegions[] = "Regions";
constexpr char kOverlay[] = "Overlay";
constexpr char kDialogs[] = "Dialogs";
constexpr char kReserved[] = "Reserved";
constexpr char kExtensions[] = "Extensions";

constexpr char kBool[] = "true on success, false on every failure";
constexpr char kValue[] =
    "the value read, 0 on every failure (only the result code tells a device value 0 apart)";
constexpr char kNone[] = "none";

// Chained setters over one Operation, so each entry reads as a short paragraph.
class Op {
 public:
  Op(int slot, std::string name, std::ptrdiff_t tableSlot, std::string family, std::string synopsis,
     std::string summary) {
    op_.slot = slot;
    op_.name = std::move(name);
    op_.tableSlot = tableSlot;
    op_.family = std::move(family);
    op_.synopsis = std::move(synopsis);
    op_.summary = std::move(summary);
    op_.result = kBool;
    op_.exampleText = "";
  }
  Op& Params(std::vector<Param> params) {
    op_.params = std::move(params);
    return *this;
  }
  Op& Result(std::string result) {
    op_.result = std::move(result);
    return *this;
  }
  Op& Sends(std::int32_t command, std::string format, Length length, std::string values) {
    op_.requests.push_back({command, std::move(format), length, std::move(values)});
    return *this;
  }
  Op& Keeps() {
    op_.success = Success::KeepCode;
    return *this;
  }
  Op& StatusIgnored() {
    op_.status = Status::Ignored;
    return *this;
  }
  Op& NoReply() {
    op_.status = Status::NoReply;
    return *this;
  }
  Op& Reads(std::string reads) {
    op_.reads = std::move(reads);
    return *this;
  }
  Op& MissingValueSucceeds() {
    op_.missingValueFails = false;
    return *this;
  }
  Op& LocalCode(Local local) {
    op_.local = local;
    return *this;
  }
  Op& Refuses(std::string what, std::function<std::int64_t(ICommand&)> refuse) {
    op_.refused = std::move(what);
    op_.refuse = std::move(refuse);
    return *this;
  }
  // values: one list per request; reply: the device's answer to the last request ("" = its own).
  Op& Example(std::string text, std::function<std::int64_t(ICommand&)> call, std::int64_t expected,
              std::vector<std::vector<std::string>> values = {}, int videoPort = 0, std::string reply = "") {
    op_.exampleText = std::move(text);
    op_.call = std::move(call);
    op_.expected = expected;
    op_.wireValues = std::move(values);
    op_.videoPort = videoPort;
    op_.reply = std::move(reply);
    return *this;
  }
  Op& Consumes() {
    op_.consumesObject = true;
    return *this;
  }
  Op& Vmlctl(std::string arguments, bool sends = true, std::string note = "") {
    op_.vmlctl = std::move(arguments);
    op_.vmlctlSends = sends;
    op_.vmlctlNote = std::move(note);
    return *this;
  }
  Op& VmlctlNote(std::string note) {
    op_.vmlctlNote = std::move(note);
    return *this;
  }
  operator Operation() const { return op_; }

 private:
  Operation op_;
};

// Reserved slots that only answer "not implemented" or nothing at all.
Operation Reserved(int slot, const char* name, std::ptrdiff_t tableSlot, const char* synopsis, Local local,
                   std::function<std::int64_t(ICommand&)> call, const char* callText) {
  const bool tenAlways = local == Local::Sets10;
  return Op(slot, name, tableSlot, kReserved, synopsis,
            tenAlways ? "Keeps the slot's position; not implemented."
                      : "Keeps the slot's position; does nothing.")
      .Params({{"(all)", "ignored"}})
      .Result(std::strstr(synopsis, "bool") == synopsis ? "false" : "0")
      .LocalCode(local)
      .Example(callText, std::move(call), 0)
      .VmlctlNote("no vmlctl command: the slot does nothing a user could see");
}

std::vector<Operation> Build() {
  std::vector<Operation> t;

  // ---- 0 to 12 --------------------------------------------------------------------------------
  t.push_back(
      Op(SLOT(0, GetVendorName), kLibrary, "int32_t GetVendorName(int32_t bufferSize, char* name)",
         "Writes the maker's name \"vormel\" and its NUL (7 bytes) into name.")
          .Params({{"bufferSize", "the bytes name holds; 0 means \"large enough\", 1 to 6 is too small"},
                   {"name", "buffer of at least 7 bytes"}})
          .Result("7, the bytes written with the NUL; 0 when bufferSize is 1 to 6, name is null or "
                  "not writable (nothing is written then)")
          .Example("GetVendorName(64, name)", RUN(char name[64]; return c.GetVendorName(64, name);), 7)
          .Vmlctl("vendor"));
  t.push_back(
      Reserved(SLOT(1, Reserved1), "int32_t Reserved1()", Local::Keeps, CALL(c.Reserved1()), "Reserved1()"));
  {
    Operation two =
        Reserved(SLOT(2, Reserved2), "int32_t Reserved2()", Local::Keeps, CALL(c.Reserved2()), "Reserved2()");
    two.result = "1";
    two.expected = 1;
    t.push_back(std::move(two));
  }
  t.push_back(Reserved(SLOT(3, Reserved3), "bool Reserved3(int32_t, int32_t, int32_t)", Local::Sets10,
                       CALL(c.Reserved3(1, 2, 3)), "Reserved3(1, 2, 3)"));
  t.push_back(Reserved(SLOT(4, Reserved4), "int32_t Reserved4(int32_t, int32_t, int32_t)", Local::Sets10,
                       CALL(c.Reserved4(1, 2, 3)), "Reserved4(1, 2, 3)"));
  t.push_back(Op(SLOT(5, GetErrorText), kLibrary, "int32_t GetErrorText(int32_t bufferSize, char* text)",
                 "Copies the text of the current library-wide result code into text (UTF-8 on Linux, the "
                 "host's ANSI code page on Windows), cut to fit bufferSize with its NUL.")
                  .Params({{"bufferSize", "the bytes text holds, NUL included"}, {"text", "the buffer"}})
                  .Result("the bytes copied without the NUL; 0 for a code without a text")
                  .Example("GetErrorText(64, text) after a code 16: \"未知NAPI错误\"",
                           RUN(char text[64]; return c.GetErrorText(64, text);), 16)
                  .VmlctlNote("every vmlctl command prints this text after its operation"));
  t.push_back(Op(SLOT(6, SetReservedValue), kLibrary, "bool SetReservedValue(int32_t value)",
                 "Stores value in the object; nothing reads it.")
                  .Params({{"value", "any"}})
                  .Result("true")
                  .Example("SetReservedValue(5)", CALL(c.SetReservedValue(5)), 1)
                  .VmlctlNote("no vmlctl command"));
  t.push_back(Op(SLOT(7, Release), kLibrary, "void Release()",
                 "Closes both links and frees the object (through entry 92, the deleting destructor). "
                 "The pointer is invalid afterwards; never delete the object.")
                  .Params({})
                  .Result(kNone)
                  .Example("Release()", RUN(c.Release(); return 0;), 0)
                  .Consumes()
                  .VmlctlNote("vmlctl releases its object after every command"));
  t.push_back(
      Op(SLOT(8, OpenSerialLink), kLinks, "bool OpenSerialLink(int32_t portNumber)",
         "Chooses the serial link: opens COM<portNumber> on Windows after the system's port-settings "
         "dialog, /dev/ttyS<portNumber-1> on Linux (settings from the VmlCmdSetSerialConfirm callback, "
         "else 115200 8N1). No device operation runs over it; in serial mode they all fail at once.")
          .Params({{"portNumber", "1 for the first port"}})
          .Result("true when the port opened (serial mode from then on); false leaves the mode as it was, "
                  "any port opened before has been closed")
          .Example("OpenSerialLink(999), a port this machine does not have", CALL(c.OpenSerialLink(999)), 0)
          .VmlctlNote("no vmlctl command: vmlctl always uses the network link"));
  t.push_back(
      Op(SLOT(9, SetNetworkTarget), kLinks,
         "bool SetNetworkTarget(const char* ipAddress, int32_t port, const char* userName, const char* "
         "password)",
         "Chooses the network link and stores the device's address, TCP port and login. Sends nothing: "
         "the first device operation connects and logs in. Closes any open link first (CloseLink).")
          .Params({{"ipAddress", "dotted IPv4 text, at most 151 characters (checked only on connect)"},
                   {"port", "TCP port"},
                   {"userName", "at most 49 characters stored; the login refuses more than 16"},
                   {"password", "at most 49 characters stored; the login refuses more than 8"}})
          .Result("true; false when a text is null or too long for its field (nothing changes then, "
                  "the result code included), or when the user name or password holds a hyphen (nothing "
                  "changes but the result code, 15)")
          .LocalCode(Local::Sets9)
          .Example("SetNetworkTarget(\"127.0.0.1\", 8000, \"admin\", \"admin\")",
                   CALL(c.SetNetworkTarget("127.0.0.1", 8000, "admin", "admin")), 1)
          .VmlctlNote("vmlctl --host ADDR --port N --user U --password P calls it before every command"));
  t.push_back(Reserved(SLOT(10, Reserved10), "bool Reserved10(int32_t, int32_t, int32_t)", Local::Keeps,
                       CALL(c.Reserved10(1, 2, 3)), "Reserved10(1, 2, 3)"));
  {
    Operation eleven = Reserved(SLOT(11, Reserved11), "int32_t Reserved11()", Local::Sets10,
                                CALL(c.Reserved11()), "Reserved11()");
    eleven.vmlctlNote =
        "vmlctl calls it before each getter, so a getter that fails without setting a code "
        "can be told from one that succeeded";
    t.push_back(std::move(eleven));
  }
  t.push_back(Reserved(SLOT(12, Reserved12), "int32_t Reserved12()", Local::Sets10, CALL(c.Reserved12()),
                       "Reserved12()"));

  // ---- 13 to 18: clock, network, system -----------------------------------------------------
  t.push_back(
      Op(SLOT(13, SetDeviceTime), kSystem,
         "bool SetDeviceTime(int32_t year, uint8_t month, uint8_t day, uint8_t hour, uint8_t minute, "
         "uint8_t second)",
         "Sets the device clock. The numbers follow each other without separator or leading zeros, "
         "so 2026-12-08 and 2026-01-28 send the same date digits.")
          .Params({{"year", "any"}, {"month, day, hour, minute, second", "0 to 255 each, sent unsigned"}})
          .Sends(3, "-d %d%d%d -t %d%d%d", Length::Plain, "year, month, day, hour, minute, second")
          .Example("SetDeviceTime(2026, 12, 8, 10, 30, 5)", CALL(c.SetDeviceTime(2026, 12, 8, 10, 30, 5)), 1,
                   {{"2026", "12", "8", "10", "30", "5"}})
          .Vmlctl("set-clock 2026-12-08T10:30:05"));
  t.push_back(
      Op(SLOT(14, SetNetworkConfig), kNetwork,
         "bool SetNetworkConfig(const char* ipAddress, const char* subnetMask, const char* gateway)",
         "Writes the device's IP address, subnet mask and gateway in one request. The texts go out as given.")
          .Params({{"ipAddress", "text, not checked by the library"},
                   {"subnetMask", "text"},
                   {"gateway", "text"}})
          .Sends(4, "-a %s -m %s -g %s", Length::Plain, "ipAddress, subnetMask, gateway")
          .Refuses("a null text, one holding a hyphen, or texts longer than 241 characters together",
                   CALL(c.SetNetworkConfig("192.0.2.5", nullptr, "192.0.2.1")))
          .Example("SetNetworkConfig(\"192.0.2.5\", \"255.255.0.0\", \"192.0.2.1\")",
                   CALL(c.SetNetworkConfig("192.0.2.5", "255.255.0.0", "192.0.2.1")), 1,
                   {{"192.0.2.5", "255.255.0.0", "192.0.2.1"}})
          .Vmlctl("set-network 192.0.2.5 255.255.0.0 192.0.2.1"));
  t.push_back(Op(SLOT(15, SendCommand8), kSystem, "bool SendCommand8()",
                 "Sends the bare command 8 and does not wait for a reply (the device never answers it).")
                  .Params({})
                  .Result("true once the request was sent")
                  .Sends(8, "", Length::HeaderOnly, "")
                  .NoReply()
                  .Example("SendCommand8()", CALL(c.SendCommand8()), 1, {{}})
                  .Vmlctl("command8"));
  t.push_back(Op(SLOT(16, SendCommand9), kSystem, "bool SendCommand9()", "Sends the bare command 9.")
                  .Params({})
                  .Sends(9, "", Length::HeaderOnly, "")
                  .Keeps()
                  .Example("SendCommand9()", CALL(c.SendCommand9()), 1, {{}})
                  .Vmlctl("command9"));
  t.push_back(Op(SLOT(17, SetAccount), kSystem, "bool SetAccount(const char* userName, const char* password)",
                 "Changes the account the device holds. The object keeps logging in with the user name and "
                 "password given to SetNetworkTarget; no length limit of the login applies here.")
                  .Params({{"userName", "text"}, {"password", "text"}})
                  .Sends(41, "-u %s -p %s", Length::Plain, "userName, password")
                  .Keeps()
                  .Refuses("a null text, one holding a hyphen, or texts longer than 249 characters together",
                           CALL(c.SetAccount(nullptr, "secret")))
                  .Example("SetAccount(\"operator\", \"secret\")", CALL(c.SetAccount("operator", "secret")),
                           1, {{"operator", "secret"}})
                  .Vmlctl("set-account operator secret"));
  t.push_back(Op(SLOT(18, SetPortSetting), kSystem, "bool SetPortSetting(int32_t port, uint8_t value)",
                 "Writes the one-byte setting of a numbered port.")
                  .Params({{"port", "any"}, {"value", "0 to 255, sent unsigned"}})
                  .Sends(70, "-p %d -b %d", Length::Plain, "port, value")
                  .Example("SetPortSetting(2, 200)", CALL(c.SetPortSetting(2, 200)), 1, {{"2", "200"}})
                  .Vmlctl("set-port-setting 2 200"));

  // ---- 19 to 22: links ----------------------------------------------------------------------
  t.push_back(Op(SLOT(19, SetVideoPort), kLinks, "void SetVideoPort(int32_t videoPort)",
                 "Chooses the video port that later per-port operations send after \"-p\". Not checked; "
                 "the device refuses a port it does not have (status 5, code 14).")
                  .Params({{"videoPort", "any, 0 for the first; 0 on a new object"}})
                  .Result(kNone)
                  .Example("SetVideoPort(2)", RUN(c.SetVideoPort(2); return 0;), 0)
                  .VmlctlNote("vmlctl --video-port N calls it before every command"));
  t.push_back(Op(SLOT(20, CloseLink), kLinks, "bool CloseLink()",
                 "Closes whichever link is open and returns to no link: device operations fail at once until "
                 "the next SetNetworkTarget.")
                  .Params({})
                  .Result("true")
                  .LocalCode(Local::Sets9)
                  .Example("CloseLink()", CALL(c.CloseLink()), 1)
                  .VmlctlNote("SetNetworkTarget calls it, so every vmlctl command runs it once"));
  t.push_back(Reserved(SLOT(21, Reserved21), "bool Reserved21(int32_t)", Local::Sets10InSerial,
                       CALL(c.Reserved21(1)), "Reserved21(1)"));
  t.push_back(Reserved(SLOT(22, Reserved22), "bool Reserved22(int32_t)", Local::Sets10InSerial,
                       CALL(c.Reserved22(1)), "Reserved22(1)"));

  // ---- 23 to 28: network identity -----------------------------------------------------------
  t.push_back(
      Op(SLOT(23, SetIpAddress), kNetwork, "bool SetIpAddress(const char* ipAddress)",
         "Writes the device's IP address; the one address write that counts and sends the NUL.")
          .Params({{"ipAddress", "text, not checked by the library"}})
          .Sends(4, "-a %s", Length::CountedNul, "ipAddress")
          .Refuses("a null text, one holding a hyphen, or one longer than 252 characters",
                   CALL(c.SetIpAddress(nullptr)))
          .Example("SetIpAddress(\"192.0.2.7\")", CALL(c.SetIpAddress("192.0.2.7")), 1, {{"192.0.2.7"}})
          .Vmlctl("set-ip 192.0.2.7"));
  const char* addressBuffer =
      "buffer of VMLCMD_ADDRESS_BUFFER_SIZE (16) bytes; at most 15 characters and the NUL "
      "are written, a longer value is cut";
  t.push_back(
      Op(SLOT(24, GetIpAddress), kNetwork, "bool GetIpAddress(char* ipAddress)",
         "Reads the device's IP address.")
          .Params({{"ipAddress", addressBuffer}})
          .Sends(5, "", Length::HeaderOnly, "")
          .MissingValueSucceeds()
          .Reads("the token 'i' (the last one wins), up to the next hyphen, trailing blanks kept; a reply "
                 "without one succeeds and leaves the buffer untouched")
          .Refuses("a null buffer", CALL(c.GetIpAddress(nullptr)))
          .Example("GetIpAddress(ip) on a device at 192.0.2.10",
                   RUN(char ip[VMLCMD_ADDRESS_BUFFER_SIZE]; return c.GetIpAddress(ip);), 1, {{}})
          .Vmlctl("get-ip"));
  t.push_back(Op(SLOT(25, SetSubnetMask), kNetwork, "bool SetSubnetMask(const char* subnetMask)",
                 "Writes the device's subnet mask.")
                  .Params({{"subnetMask", "text, not checked by the library"}})
                  .Sends(4, "-m %s", Length::Plain, "subnetMask")
                  .Refuses("a null text, one holding a hyphen, or one longer than 252 characters",
                           CALL(c.SetSubnetMask(nullptr)))
                  .Example("SetSubnetMask(\"255.255.255.0\")", CALL(c.SetSubnetMask("255.255.255.0")), 1,
                           {{"255.255.255.0"}})
                  .Vmlctl("set-subnet-mask 255.255.255.0"));
  t.push_back(Op(SLOT(26, GetSubnetMask), kNetwork, "bool GetSubnetMask(char* subnetMask)",
                 "Reads the device's subnet mask.")
                  .Params({{"subnetMask", addressBuffer}})
                  .Sends(5, "", Length::HeaderOnly, "")
                  .MissingValueSucceeds()
                  .Reads("the token 'm' (the last one wins), as GetIpAddress")
                  .Refuses("a null buffer", CALL(c.GetSubnetMask(nullptr)))
                  .Example("GetSubnetMask(mask)",
                           RUN(char mask[VMLCMD_ADDRESS_BUFFER_SIZE]; return c.GetSubnetMask(mask);), 1, {{}})
                  .Vmlctl("get-subnet-mask"));
  t.push_back(Op(SLOT(27, SetGateway), kNetwork, "bool SetGateway(const char* gateway)",
                 "Writes the device's gateway.")
                  .Params({{"gateway", "text, not checked by the library"}})
                  .Sends(4, "-g %s", Length::Plain, "gateway")
                  .Refuses("a null text, one holding a hyphen, or one longer than 252 characters",
                           CALL(c.SetGateway(nullptr)))
                  .Example("SetGateway(\"192.0.2.1\")", CALL(c.SetGateway("192.0.2.1")), 1, {{"192.0.2.1"}})
                  .Vmlctl("set-gateway 192.0.2.1"));
  t.push_back(
      Op(SLOT(28, GetGateway), kNetwork, "bool GetGateway(char* gateway)", "Reads the device's gateway.")
          .Params({{"gateway", addressBuffer}})
          .Sends(5, "", Length::HeaderOnly, "")
          .MissingValueSucceeds()
          .Reads("the token 'g' (the last one wins), as GetIpAddress")
          .Refuses("a null buffer", CALL(c.GetGateway(nullptr)))
          .Example("GetGateway(gateway)",
                   RUN(char gateway[VMLCMD_ADDRESS_BUFFER_SIZE]; return c.GetGateway(gateway);), 1, {{}})
          .Vmlctl("get-gateway"));
  t.push_back(
      Op(SLOT(29, ShowDeviceConfigDialog), kDialogs, "int32_t ShowDeviceConfigDialog()",
         "Shows the modal device configuration dialog 设备配置 (network settings, serial line, PTZ heads, "
         "versions), which drives the operations of this table.")
          .Params({})
          .Result("the dialog's end value on Windows; -1 on Linux, where there are no dialogs")
          .Example("ShowDeviceConfigDialog() on Linux", CALL(c.ShowDeviceConfigDialog()), -1)
          .VmlctlNote("no vmlctl command (Windows only)"));

  // ---- 30 to 33: serial line and PTZ heads --------------------------------------------------
  t.push_back(
      Op(SLOT(30, SetPtzProtocol), kSerial, "bool SetPtzProtocol(int32_t protocol, int32_t ptzIndex)",
         "Chooses the protocol of a PTZ head on the serial bus. The head index comes first on the wire.")
          .Params(
              {{"protocol", "1 or 2 in the dialog; any value is sent"}, {"ptzIndex", "0 for the first head"}})
          .Sends(61, "-n %d -p %d", Length::Plain, "ptzIndex, protocol")
          .Example("SetPtzProtocol(2, 1)", CALL(c.SetPtzProtocol(2, 1)), 1, {{"1", "2"}})
          .Vmlctl("ptz-protocol 2 1"));
  t.push_back(Op(SLOT(31, SetPtzAddress), kSerial, "bool SetPtzAddress(int32_t address, int32_t ptzIndex)",
                 "Sets the bus address of a PTZ head. The head index comes first on the wire.")
                  .Params({{"address", "bus address"}, {"ptzIndex", "0 for the first head"}})
                  .Sends(62, "-p %d -a %d", Length::Plain, "ptzIndex, address")
                  .Example("SetPtzAddress(5, 0)", CALL(c.SetPtzAddress(5, 0)), 1, {{"0", "5"}})
                  .Vmlctl("ptz-address 5 0"));
  t.push_back(Op(SLOT(32, SetSerialBaudRate), kSerial, "bool SetSerialBaudRate(int32_t baudRate)",
                 "Writes the baud rate of the device's serial port 1.")
                  .Params({{"baudRate", "bits per second"}})
                  .Sends(6, "-p 1 -b %d", Length::Plain, "baudRate")
                  .Example("SetSerialBaudRate(9600)", CALL(c.SetSerialBaudRate(9600)), 1, {{"9600"}})
                  .Vmlctl("set-baud 9600"));
  t.push_back(
      Op(SLOT(33, GetSerialBaudRate), kSerial, "int32_t GetSerialBaudRate()",
         "Reads the baud rate of the device's serial port 1.")
          .Params({})
          .Result(kValue)
          .Sends(7, "-p 1", Length::Plain, "")
          .Reads("the number after the first letter 'p' followed by 1 (searched anywhere, moving on past "
                 "other numbers), then the number after the first 'b' of the whole text; either missing "
                 "fails with the code kept")
          .Example("GetSerialBaudRate() on a reply \"-p 2 -b 4800 -p 1\"", CALL(c.GetSerialBaudRate()), 4800,
                   {{}}, 0, "-p 2 -b 4800 -p 1")
          .Vmlctl("get-baud"));

  // ---- 34 to 47: PTZ ------------------------------------------------------------------------
  t.push_back(Op(SLOT(34, SetPtzAux), kPtz, "bool SetPtzAux(int32_t auxIndex, bool on)",
                 "The PTZ dialog's auxiliary switches 辅助1 to 辅助4; not implemented.")
                  .Params({{"auxIndex", "0 to 3"}, {"on", "switch state"}})
                  .Result("false")
                  .LocalCode(Local::Sets10)
                  .Example("SetPtzAux(0, true)", CALL(c.SetPtzAux(0, true)), 0)
                  .VmlctlNote("no vmlctl command"));
  t.push_back(Op(SLOT(35, SetPtzLight), kPtz, "bool SetPtzLight(bool on)",
                 "The PTZ dialog's light switch 灯光; does nothing.")
                  .Params({{"on", "switch state"}})
                  .Result("false")
                  .Example("SetPtzLight(true)", CALL(c.SetPtzLight(true)), 0)
                  .VmlctlNote("no vmlctl command"));
  t.push_back(Op(SLOT(36, SetPtzWiper), kPtz, "bool SetPtzWiper(bool on)",
                 "The PTZ dialog's wiper switch 雨刷; does nothing.")
                  .Params({{"on", "switch state"}})
                  .Result("false")
                  .Example("SetPtzWiper(true)", CALL(c.SetPtzWiper(true)), 0)
                  .VmlctlNote("no vmlctl command"));
  t.push_back(Op(SLOT(37, PtzAuto), kPtz, "bool PtzAuto(bool on)",
                 "Switches the automatic mode of the current video port's head: action 11 on, 12 off "
                 "(the same request as PtzStop).")
                  .Params({{"on", "true: action 11, false: action 12"}})
                  .Sends(60, "-p %d -c %d", Length::Plain, "videoPort, action")
                  .Keeps()
                  .Example("PtzAuto(true) on video port 1", CALL(c.PtzAuto(true)), 1, {{"1", "11"}}, 1)
                  .Vmlctl("--video-port 1 ptz auto on"));
  const char* direction = "only the sign counts; 0 returns false at once, sends nothing and keeps the code";
  struct Move {
    int slot;
    const char* name;
    std::ptrdiff_t tableSlot;
    const char* synopsis;
    const char* what;
    int positive;
    int negative;
    bool keeps;
    const char* tool;
  };
  const Move moves[] = {
      {SLOT(38, PtzFocus), "bool PtzFocus(int32_t direction)", "focus", 9, 10, true, "focus"},
      {SLOT(39, PtzPan), "bool PtzPan(int32_t direction)", "pan (right positive, left negative)", 4, 3, false,
       "pan"},
      {SLOT(41, PtzTilt), "bool PtzTilt(int32_t direction)", "tilt (up positive, down negative)", 1, 2, false,
       "tilt"},
      {SLOT(44, PtzZoom), "bool PtzZoom(int32_t direction)", "zoom", 7, 8, false, "zoom"},
      {SLOT(45, PtzIris), "bool PtzIris(int32_t direction)", "iris", 5, 6, false, "iris"},
  };
  auto addMove = [&](const Move& m) {
    const std::string summary = std::string("Starts moving the current video port's head: ") + m.what +
                                ", action " + std::to_string(m.positive) + " for a positive direction, " +
                                std::to_string(m.negative) + " for a negative one. It moves until PtzStop.";
    const std::string example = std::string(m.name) + "(-1) on video port 1";
    const std::string tool = std::string("--video-port 1 ptz ") + m.tool + " -1";
    const auto member = m.slot == 38   ? &ICommand::PtzFocus
                        : m.slot == 39 ? &ICommand::PtzPan
                        : m.slot == 41 ? &ICommand::PtzTilt
                        : m.slot == 44 ? &ICommand::PtzZoom
                                       : &ICommand::PtzIris;
    Op op(m.slot, m.name, m.tableSlot, kPtz, m.synopsis, summary);
    op.Params({{"direction", direction}})
        .Sends(60, "-p %d -c %d", Length::Plain, "videoPort, action")
        .Example(
            example, [member](ICommand& c) -> std::int64_t { return (c.*member)(-1); }, 1,
            {{"1", std::to_string(m.negative)}}, 1)
        .Vmlctl(tool);
    if (m.keeps) op.Keeps();
    t.push_back(std::move(op));
  };
  addMove(moves[0]);
  addMove(moves[1]);
  t.push_back(Reserved(SLOT(40, Reserved40), "bool Reserved40(int32_t)", Local::Sets10, CALL(c.Reserved40(1)),
                       "Reserved40(1)"));
  addMove(moves[2]);
  t.push_back(Reserved(SLOT(42, Reserved42), "bool Reserved42(int32_t)", Local::Sets10, CALL(c.Reserved42(1)),
                       "Reserved42(1)"));
  t.push_back(Reserved(SLOT(43, Reserved43), "bool Reserved43(int32_t)", Local::Sets10, CALL(c.Reserved43(1)),
                       "Reserved43(1)"));
  addMove(moves[3]);
  addMove(moves[4]);
  t.push_back(Op(SLOT(46, PtzStop), kPtz, "bool PtzStop()",
                 "Stops any movement of the current video port's head (action 12), and its automatic mode.")
                  .Params({})
                  .Sends(60, "-p %d -c %d", Length::Plain, "videoPort, 12")
                  .Example("PtzStop() on video port 2", CALL(c.PtzStop()), 1, {{"2", "12"}}, 2)
                  .Vmlctl("--video-port 2 ptz stop"));
  t.push_back(Op(SLOT(47, ShowPtzControlDialog), kDialogs, "int32_t ShowPtzControlDialog()",
                 "Shows the modal PTZ control dialog 云台控制, which drives slots 34 to 46.")
                  .Params({})
                  .Result("the dialog's end value on Windows; -1 on Linux, where there are no dialogs")
                  .Example("ShowPtzControlDialog() on Linux", CALL(c.ShowPtzControlDialog()), -1)
                  .VmlctlNote("no vmlctl command (Windows only)"));

  // ---- 48, 49: commands 51 and 52 -----------------------------------------------------------
  for (int which : {51, 52}) {
    const bool first = which == 51;
    Op op = first ? Op(SLOT(48, SendCommand51), kPassThrough,
                       "bool SendCommand51(int32_t p, const char* t, const char* a, int32_t o)",
                       "Sends command 51 with four fields of the host's; the video port is not used.")
                  : Op(SLOT(49, SendCommand52), kPassThrough,
                       "bool SendCommand52(int32_t p, const char* t, const char* a, int32_t o)",
                       "Sends command 52 with four fields of the host's; the video port is not used.");
    op.Params({{"p", "any number"}, {"t", "text"}, {"a", "text"}, {"o", "any number"}})
        .Sends(which, "-p %d -t %s -a %s -o %d", Length::Plain, "p, t, a, o")
        .Refuses(
            "a null text, or texts too long for the 255-character request",
            first ? CALL(c.SendCommand51(3, nullptr, "y", 0)) : CALL(c.SendCommand52(3, "x", nullptr, 0)));
    if (first) {
      op.Example("SendCommand51(3, \"x\", \"y\", 0)", CALL(c.SendCommand51(3, "x", "y", 0)), 1,
                 {{"3", "x", "y", "0"}})
          .Vmlctl("command51 3 x y 0");
    } else {
      op.Example("SendCommand52(-1, \"\", \"y\", -7)", CALL(c.SendCommand52(-1, "", "y", -7)), 1,
                 {{"-1", "", "y", "-7"}})
          .Vmlctl("command52 -- -1 '' y -7", false, "\"--\" lets the negative numbers through");
    }
    t.push_back(std::move(op));
  }

  // ---- 50 to 65: encoder and picture, one value ----------------------------------------------
  struct Value {
    int slot;
    const char* name;
    std::ptrdiff_t tableSlot;
    bool setter;
    const char* synopsis;
    const char* family;
    const char* summary;
    const char* param;
    std::int32_t command;
    const char* format;
    Length length;
    bool keeps;
    const char* values;     // the conversions' meaning
    std::int32_t argument;  // the example's argument (setters)
    const char* wire;       // what the example sends as the value
    const char* reply;      // the example's reply text (getters)
    std::int64_t expected;  // the example's result
    const char* reads;      // getters
    const char* tool;       // vmlctl command
  };
  const char* encoderValue = "any 32-bit value, sent as given; the device judges it";
  const char* scaleValue =
      "0 to 255 on the dialog's scale; the device gets the value minus 128 (not clamped)";
  const Value values[] = {
      {SLOT(50, SetVideoBitrate), true, "bool SetVideoBitrate(int32_t bitrate)", kEncoder,
       "Writes the encoder bitrate (kbit/s) of the current video port; one of the few requests that count "
       "the NUL.",
       encoderValue, 31, "-p %d -b %d", Length::CountedNul, false, "videoPort, bitrate", 1024, "1024", "", 1,
       "", "--video-port 2 set-bitrate 1024"},
      {SLOT(51, GetVideoBitrate), false, "int32_t GetVideoBitrate()", kEncoder,
       "Reads the encoder bitrate (kbit/s) of the current video port.", "", 32, "-p %d", Length::Plain, false,
       "videoPort", 0, "", "-p 2 -b 1024 -f 25", 1024,
       "the number after the first letter 'b' anywhere in the text", "--video-port 2 get-bitrate"},
      {SLOT(52, SetVideoFrameRate), true, "bool SetVideoFrameRate(int32_t frameRate)", kEncoder,
       "Writes the encoder frame rate of the current video port.", encoderValue, 31, "-p %d -f %d",
       Length::Plain, false, "videoPort, frameRate", 15, "15", "", 1, "", "--video-port 2 set-frame-rate 15"},
      {SLOT(53, GetVideoFrameRate), false, "int32_t GetVideoFrameRate()", kEncoder,
       "Reads the encoder frame rate of the current video port.", "", 32, "-p %d", Length::Plain, false,
       "videoPort", 0, "", "-p 2 -f 15", 15, "the number after the first letter 'f' anywhere in the text",
       "--video-port 2 get-frame-rate"},
      {SLOT(54, SetVideoIFrameInterval), true, "bool SetVideoIFrameInterval(int32_t interval)", kEncoder,
       "Writes the encoder I-frame interval of the current video port.", encoderValue, 31, "-p %d -i %d",
       Length::Plain, false, "videoPort, interval", 50, "50", "", 1, "",
       "--video-port 2 set-iframe-interval 50"},
      {SLOT(55, GetVideoIFrameInterval), false, "int32_t GetVideoIFrameInterval()", kEncoder,
       "Reads the encoder I-frame interval of the current video port.", "", 32, "-p %d", Length::Plain, false,
       "videoPort", 0, "", "-p 2 -i 50", 50, "the number after the first letter 'i' anywhere in the text",
       "--video-port 2 get-iframe-interval"},
      {SLOT(56, SetVideoParamR), true, "bool SetVideoParamR(int32_t value)", kEncoder,
       "Writes the encoder parameter r of the current video port (its meaning is the device's); counts the "
       "NUL.",
       encoderValue, 31, "-p %d -r %d", Length::CountedNul, true, "videoPort, value", 7, "7", "", 1, "",
       "--video-port 2 set-param-r 7"},
      {SLOT(57, GetVideoParamR), false, "int32_t GetVideoParamR()", kEncoder,
       "Reads the encoder parameter r of the current video port.", "", 32, "-p %d", Length::Plain, false,
       "videoPort", 0, "", "-p 2 -r 7", 7, "the number after the first letter 'r' anywhere in the text",
       "--video-port 2 get-param-r"},
      {SLOT(58, SetBrightness), true, "bool SetBrightness(int32_t brightness)", kPicture,
       "Writes the brightness of the current video port, unchanged (0 to 255).", "0 to 255, sent as given",
       21, "-p %d -b %d", Length::Plain, true, "videoPort, brightness", 140, "140", "", 1, "",
       "--video-port 2 set-brightness 140"},
      {SLOT(59, GetBrightness), false, "int32_t GetBrightness()", kPicture,
       "Reads the brightness of the current video port.", "", 22, "-p %d", Length::Plain, true, "videoPort",
       0, "", "-p 2 -b 140", 140, "the number after the first letter 'b' anywhere in the text",
       "--video-port 2 get-brightness"},
      {SLOT(60, SetContrast), true, "bool SetContrast(int32_t contrast)", kPicture,
       "Writes the contrast of the current video port; the device value is 128 below the argument.",
       scaleValue, 21, "-p %d -c %d", Length::Plain, true, "videoPort, contrast - 128", 199, "71", "", 1, "",
       "--video-port 2 set-contrast 199"},
      {SLOT(61, GetContrast), false, "int32_t GetContrast()", kPicture,
       "Reads the contrast of the current video port on the 0 to 255 scale (device value + 128).", "", 22,
       "-p %d", Length::Plain, true, "videoPort", 0, "", "-p 2 -c 71", 199,
       "the number after the first letter 'c' anywhere in the text, plus 128 (a failure returns 0, not 128)",
       "--video-port 2 get-contrast"},
      {SLOT(62, SetSaturation), true, "bool SetSaturation(int32_t saturation)", kPicture,
       "Writes the saturation of the current video port; the device value is 128 below the argument.",
       scaleValue, 21, "-p %d -s %d", Length::Plain, true, "videoPort, saturation - 128", 192, "64", "", 1,
       "", "--video-port 2 set-saturation 192"},
      {SLOT(63, GetSaturation), false, "int32_t GetSaturation()", kPicture,
       "Reads the saturation of the current video port on the 0 to 255 scale (device value + 128).", "", 22,
       "-p %d", Length::Plain, true, "videoPort", 0, "", "-p 2 -s 64", 192,
       "the number after the first letter 's' anywhere in the text, plus 128",
       "--video-port 2 get-saturation"},
      {SLOT(64, SetHue), true, "bool SetHue(int32_t hue)", kPicture,
       "Writes the hue of the current video port; the device value is 128 below the argument.", scaleValue,
       21, "-p %d -h %d", Length::Plain, false, "videoPort, hue - 128", 0, "-128", "", 1, "",
       "--video-port 2 set-hue 0"},
      {SLOT(65, GetHue), false, "int32_t GetHue()", kPicture,
       "Reads the hue of the current video port on the 0 to 255 scale (device value + 128).", "", 22, "-p %d",
       Length::Plain, false, "videoPort", 0, "", "-p 2 -h -128", 0,
       "the number after the first letter 'h' anywhere in the text, plus 128", "--video-port 2 get-hue"},
  };
  auto addValue = [&](const Value& v) {
    const std::string example =
        v.setter ? std::string(v.name) + "(" + std::to_string(v.argument) + ") on video port 2"
                 : std::string(v.name) + "() on video port 2, the device answering \"" + v.reply + "\"";
    using Setter = bool (ICommand::*)(std::int32_t);
    using Getter = std::int32_t (ICommand::*)();
    Op op(v.slot, v.name, v.tableSlot, v.family, v.synopsis, v.summary);
    op.Sends(v.command, v.format, v.length, v.values);
    if (v.keeps) op.Keeps();
    if (v.setter) {
      Setter member = nullptr;
      switch (v.slot) {
        case 50:
          member = &ICommand::SetVideoBitrate;
          break;
        case 52:
          member = &ICommand::SetVideoFrameRate;
          break;
        case 54:
          member = &ICommand::SetVideoIFrameInterval;
          break;
        case 56:
          member = &ICommand::SetVideoParamR;
          break;
        case 58:
          member = &ICommand::SetBrightness;
          break;
        case 60:
          member = &ICommand::SetContrast;
          break;
        case 62:
          member = &ICommand::SetSaturation;
          break;
        default:
          member = &ICommand::SetHue;
          break;
      }
      const std::int32_t argument = v.argument;
      // The parameter's name as the synopsis spells it: "bool SetHue(int32_t hue)" → "hue".
      const std::string synopsis = v.synopsis;
      const std::size_t space = synopsis.rfind(' ');
      op.Params({{synopsis.substr(space + 1, synopsis.size() - space - 2), v.param}});
      op.Example(
          example, [member, argument](ICommand& c) -> std::int64_t { return (c.*member)(argument); }, 1,
          {{"2", v.wire}}, 2);
    } else {
      Getter member = nullptr;
      switch (v.slot) {
        case 51:
          member = &ICommand::GetVideoBitrate;
          break;
        case 53:
          member = &ICommand::GetVideoFrameRate;
          break;
        case 55:
          member = &ICommand::GetVideoIFrameInterval;
          break;
        case 57:
          member = &ICommand::GetVideoParamR;
          break;
        case 59:
          member = &ICommand::GetBrightness;
          break;
        case 61:
          member = &ICommand::GetContrast;
          break;
        case 63:
          member = &ICommand::GetSaturation;
          break;
        default:
          member = &ICommand::GetHue;
          break;
      }
      op.Params({}).Result(kValue).Reads(v.reads).Example(
          example, [member](ICommand& c) -> std::int64_t { return (c.*member)(); }, v.expected, {{"2"}}, 2,
          v.reply);
    }
    op.Vmlctl(v.tool);
    t.push_back(std::move(op));
  };
  for (const Value& v : values) addValue(v);

  // ---- 66 to 73: regions and overlay --------------------------------------------------------
  t.push_back(Op(SLOT(66, SetMaskRegion), kRegions,
                 "bool SetMaskRegion(bool enabled, int32_t left, int32_t top, int32_t width, int32_t height, "
                 "int32_t reserved)",
                 "Writes the privacy-mask rectangle of the current video port.")
                  .Params({{"enabled", "sent as 0 or 1"},
                           {"left, top, width, height", "picture coordinates, sent as given"},
                           {"reserved", "ignored"}})
                  .Sends(29, "-p %d -b %d -l %d -t %d -w %d -h %d", Length::Plain,
                         "videoPort, enabled, left, top, width, height")
                  .Keeps()
                  .Example("SetMaskRegion(true, 10, 20, 100, 50, 0)",
                           CALL(c.SetMaskRegion(true, 10, 20, 100, 50, 0)), 1,
                           {{"0", "1", "10", "20", "100", "50"}})
                  .Vmlctl("privacy-mask set on 10 20 100 50"));
  t.push_back(
      Op(SLOT(67, GetMaskRegion), kRegions,
         "bool GetMaskRegion(bool* enabled, int32_t* left, int32_t* top, int32_t* width, int32_t* "
         "height, int32_t reserved)",
         "Reads the privacy-mask rectangle of the current video port.")
          .Params({{"enabled, left, top, width, height", "outputs"}, {"reserved", "ignored"}})
          .Sends(30, "-p %d", Length::Plain, "videoPort")
          .Reads("b, l, t, w, h in this order, each the number after the first such letter anywhere; the "
                 "first one missing fails with the code kept, the outputs before it written")
          .Refuses("a null output", RUN(int32_t v = 0; return c.GetMaskRegion(nullptr, &v, &v, &v, &v, 0);))
          .Example("GetMaskRegion(...) on a reply \"-b 1 -l 5 -t 6 -w 7 -h 8\"",
                   RUN(bool e = false; int32_t l = 0, top = 0, w = 0, h = 0;
                       return c.GetMaskRegion(&e, &l, &top, &w, &h, 0) && e && l == 5 && top == 6 && h == 8;),
                   1, {{"0"}}, 0, "-b 1 -l 5 -t 6 -w 7 -h 8")
          .Vmlctl("privacy-mask get"));
  t.push_back(
      Op(SLOT(68, SetMotionRegion), kRegions,
         "bool SetMotionRegion(bool enabled, int32_t left, int32_t top, int32_t width, int32_t height, "
         "int32_t sensitivity, int32_t reserved)",
         "Writes the motion-detection rectangle and sensitivity of the current video port (the mask's "
         "command code, with \"-d\" added).")
          .Params({{"enabled", "sent as 0 or 1"},
                   {"left, top, width, height", "picture coordinates, sent as given"},
                   {"sensitivity", "sent as given"},
                   {"reserved", "ignored"}})
          .Sends(29, "-p %d -b %d -l %d -t %d -w %d -h %d -d %d", Length::Plain,
                 "videoPort, enabled, left, top, width, height, sensitivity")
          .Keeps()
          .Example("SetMotionRegion(true, 10, 20, 100, 50, 3, 0)",
                   CALL(c.SetMotionRegion(true, 10, 20, 100, 50, 3, 0)), 1,
                   {{"0", "1", "10", "20", "100", "50", "3"}})
          .Vmlctl("motion set on 10 20 100 50 3"));
  t.push_back(
      Op(SLOT(69, GetMotionRegion), kRegions,
         "bool GetMotionRegion(bool* enabled, int32_t* left, int32_t* top, int32_t* width, int32_t* "
         "height, int32_t* sensitivity, int32_t reserved)",
         "Reads the motion-detection rectangle and sensitivity of the current video port.")
          .Params({{"enabled, left, top, width, height, sensitivity", "outputs"}, {"reserved", "ignored"}})
          .Sends(28, "-p %d", Length::Plain, "videoPort")
          .Reads("b, l, t, w, h, d in this order, as GetMaskRegion")
          .Refuses("a null output",
                   RUN(int32_t v = 0; return c.GetMotionRegion(nullptr, &v, &v, &v, &v, &v, 0);))
          .Example("GetMotionRegion(...) on a reply \"-b 0 -l 5 -t 6 -w 7 -h 8 -d 3\"",
                   RUN(bool e = true; int32_t l = 0, top = 0, w = 0, h = 0, d = 0;
                       return c.GetMotionRegion(&e, &l, &top, &w, &h, &d, 0) && !e && d == 3;),
                   1, {{"0"}}, 0, "-b 0 -l 5 -t 6 -w 7 -h 8 -d 3")
          .Vmlctl("motion get"));
  t.push_back(
      Op(SLOT(70, SetOsdCaption), kOverlay,
         "bool SetOsdCaption(bool show, int32_t positionIndex, const char* caption)",
         "Writes the on-screen caption of the current video port. The caption goes last and unquoted, in "
         "the host's character set.")
          .Params({{"show", "sent as 0 or 1"},
                   {"positionIndex", "0 to 7 (top left to bottom right); sent plus 1"},
                   {"caption", "text of at most 215 characters"}})
          .Sends(25, "-p %d -g %d -l %d -w %s", Length::Plain, "videoPort, show, positionIndex + 1, caption")
          .Keeps()
          .Refuses("a null text, one holding a hyphen (the device would cut the caption there), or one too "
                   "long for the 255-character request",
                   CALL(c.SetOsdCaption(true, 0, nullptr)))
          .Example("SetOsdCaption(true, 2, \"Gate 2\")", CALL(c.SetOsdCaption(true, 2, "Gate 2")), 1,
                   {{"0", "1", "3", "Gate 2"}})
          .Vmlctl("osd set-caption on 3 'Gate 2'"));
  t.push_back(
      Op(SLOT(71, GetOsdCaption), kOverlay,
         "bool GetOsdCaption(bool* show, int32_t* position, char* caption)",
         "Reads the on-screen caption of the current video port; VmlCmdGetOsdCaptionEx reads one into a "
         "buffer of any size.")
          .Params({{"show", "output"},
                   {"position", "output: 1 to 8 as the device sends it (not an index)"},
                   {"caption", "buffer of VMLCMD_CAPTION_BUFFER_SIZE (50) bytes; a longer caption is cut"}})
          .Sends(26, "-p %d", Length::Plain, "videoPort")
          .MissingValueSucceeds()
          .Reads("the tokens g (shown), l (position) and w (caption, to the next hyphen, trailing blanks "
                 "kept), numbers read from the token's second character, the last token of a letter winning; "
                 "missing tokens leave their outputs untouched and the operation still succeeds")
          .Refuses("a null output", RUN(bool s = false; char text[VMLCMD_CAPTION_BUFFER_SIZE];
                                        return c.GetOsdCaption(&s, nullptr, text);))
          .Example("GetOsdCaption(...) on a reply \"-p 0 -g 1 -l 3 -w abc\"",
                   RUN(bool s = false; int32_t p = 0; char text[VMLCMD_CAPTION_BUFFER_SIZE];
                       return c.GetOsdCaption(&s, &p, text) && s && p == 3 && std::strcmp(text, "abc") == 0;),
                   1, {{"0"}}, 0, "-p 0 -g 1 -l 3 -w abc")
          .Vmlctl("osd caption", true, "vmlctl reads the caption through VmlCmdGetOsdCaptionEx"));
  t.push_back(Op(SLOT(72, SetOsdTime), kOverlay, "bool SetOsdTime(bool show, int32_t positionIndex)",
                 "Shows or hides the on-screen clock of the current video port.")
                  .Params({{"show", "sent as 0 or 1"}, {"positionIndex", "0 to 7; sent plus 1"}})
                  .Sends(25, "-p %d -o %d -t %d", Length::Plain, "videoPort, show, positionIndex + 1")
                  .Keeps()
                  .Example("SetOsdTime(true, 7)", CALL(c.SetOsdTime(true, 7)), 1, {{"0", "1", "8"}})
                  .Vmlctl("osd set-clock-overlay on 8"));
  t.push_back(
      Op(SLOT(73, GetOsdTime), kOverlay, "bool GetOsdTime(bool* show, int32_t* position)",
         "Reads the on-screen clock of the current video port.")
          .Params({{"show", "output"}, {"position", "output: 1 to 8"}})
          .Sends(26, "-p %d", Length::Plain, "videoPort")
          .Reads("o then t, each the number after the first such letter anywhere (a 't' inside an earlier "
                 "value counts); a missing one fails with the code kept")
          .Refuses("a null output", RUN(bool s = false; return c.GetOsdTime(&s, nullptr);))
          .Example("GetOsdTime(...) on a reply \"-p 0 -o 1 -t 8\"",
                   RUN(bool s = false; int32_t p = 0; return c.GetOsdTime(&s, &p) && s && p == 8;), 1,
                   {{"0"}}, 0, "-p 0 -o 1 -t 8")
          .Vmlctl("osd clock-overlay"));
  t.push_back(Reserved(SLOT(74, Reserved74), "bool Reserved74(int32_t)", Local::Keeps, CALL(c.Reserved74(1)),
                       "Reserved74(1)"));
  t.push_back(Reserved(SLOT(75, Reserved75), "bool Reserved75(int32_t)", Local::Keeps, CALL(c.Reserved75(1)),
                       "Reserved75(1)"));
  t.push_back(Reserved(SLOT(76, Reserved76), "bool Reserved76()", Local::Keeps, CALL(c.Reserved76()),
                       "Reserved76()"));
  t.push_back(Op(SLOT(77, SetVideoQuantStep), kEncoder, "bool SetVideoQuantStep(int32_t quantStep)",
                 "Writes the encoder quantiser step of the current video port.")
                  .Params({{"quantStep", encoderValue}})
                  .Sends(31, "-p %d -q %d", Length::Plain, "videoPort, quantStep")
                  .Example("SetVideoQuantStep(20) on video port 2", CALL(c.SetVideoQuantStep(20)), 1,
                           {{"2", "20"}}, 2)
                  .Vmlctl("--video-port 2 set-quant-step 20"));
  t.push_back(Op(SLOT(78, GetVideoQuantStep), kEncoder, "int32_t GetVideoQuantStep()",
                 "Reads the encoder quantiser step of the current video port.")
                  .Params({})
                  .Result(kValue)
                  .Sends(32, "-p %d", Length::Plain, "videoPort")
                  .Reads("the number after the first letter 'q' anywhere in the text")
                  .Example("GetVideoQuantStep() on video port 2, the device answering \"-p 2 -q 20\"",
                           CALL(c.GetVideoQuantStep()), 20, {{"2"}}, 2, "-p 2 -q 20")
                  .Vmlctl("--video-port 2 get-quant-step"));
  t.push_back(Op(SLOT(79, ShowVideoSettingsDialog), kDialogs, "int32_t ShowVideoSettingsDialog()",
                 "Shows the modal video settings dialog 视频设置 (picture, mask, motion and overlay pages).")
                  .Params({})
                  .Result("the dialog's end value on Windows; -1 on Linux, where there are no dialogs")
                  .Example("ShowVideoSettingsDialog() on Linux", CALL(c.ShowVideoSettingsDialog()), -1)
                  .VmlctlNote("no vmlctl command (Windows only)"));
  t.push_back(Reserved(SLOT(80, Reserved80), "bool Reserved80(int32_t, int32_t)", Local::Sets10,
                       CALL(c.Reserved80(1, 2)), "Reserved80(1, 2)"));
  t.push_back(Reserved(SLOT(81, Reserved81),
                       "bool Reserved81(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t)", Local::Sets10,
                       CALL(c.Reserved81(1, 2, 3, 4, 5, 6)), "Reserved81(1, 2, 3, 4, 5, 6)"));
  t.push_back(Reserved(SLOT(82, Reserved82), "int32_t Reserved82()", Local::Keeps, CALL(c.Reserved82()),
                       "Reserved82()"));
  t.push_back(Reserved(SLOT(83, Reserved83), "int32_t Reserved83()", Local::Keeps, CALL(c.Reserved83()),
                       "Reserved83()"));

  // ---- 84 to 86: all video settings ---------------------------------------------------------
  t.push_back(
      Op(SLOT(84, GetVideoSettings), kCombined, "bool GetVideoSettings(VideoSettings* settings)",
         "Reads all picture and encoder values of the current video port: two exchanges after one "
         "login. Device values: contrast, saturation and hue are 128 below the single-value scale.")
          .Params({{"settings", "output record; spare is never written"}})
          .Sends(22, "-p %d", Length::Plain, "videoPort")
          .Sends(32, "-p %d", Length::Plain, "videoPort")
          .StatusIgnored()
          .Reads("picture reply: b, c, s, h; encoder reply: r, f, b, q, i, t; each the number after the "
                 "first such letter; the first one missing fails with the code kept, fields read before it "
                 "written and no further request sent")
          .Refuses("a null record", CALL(c.GetVideoSettings(nullptr)))
          .Example(
              "GetVideoSettings(&settings) on a new device",
              RUN(VideoSettings s{}; return c.GetVideoSettings(&s) && s.bitrate == 512 && s.contrast == 71;),
              1, {{"0"}, {"0"}})
          .Vmlctl("video-settings"));
  t.push_back(
      Op(SLOT(85, SetVideoSettings), kCombined, "bool SetVideoSettings(const VideoSettings* settings)",
         "Writes all picture and encoder values of the current video port: the picture first (command "
         "23), then the encoder, after one login. Nothing is undone when the second write fails. spare "
         "and paramT are not sent.")
          .Params({{"settings", "the record, device values"}})
          .Sends(23, "-p %d -b %d -c %d -s %d -h %d ", Length::Plain,
                 "videoPort, brightness, contrast, saturation, hue")
          .Sends(31, "-p %d -r %d -f %d -b %d -q %d -i %d", Length::Plain,
                 "videoPort, paramR, frameRate, bitrate, quantStep, iFrameInterval")
          .StatusIgnored()
          .Refuses("a null record", CALL(c.SetVideoSettings(nullptr)))
          .Example("SetVideoSettings(&settings) with the new device's values and bitrate 1024",
                   RUN(VideoSettings s{0, 0, 1024, 25, 100, 31, 1, 128, 71, 64, 0};
                       return c.SetVideoSettings(&s);),
                   1, {{"0", "128", "71", "64", "0"}, {"0", "1", "25", "1024", "31", "100"}})
          .Vmlctl("set-video-settings --bitrate 1024", true,
                  "it reads the values first with GetVideoSettings and writes them back changed"));
  t.push_back(
      Op(SLOT(86, RestoreVideoDefaults), kCombined, "bool RestoreVideoDefaults()",
         "Writes the default picture values (brightness 128, contrast 71, saturation 64, hue 0: device "
         "values) with command 21 and the default encoder values (r 1, frame rate 25, bitrate 512, "
         "quantiser 31, I-frame interval 100) to the current video port, after one login.")
          .Params({})
          .Sends(21, "-p %d -b %d -c %d -s %d -h %d ", Length::Plain, "videoPort, 128, 71, 64, 0")
          .Sends(31, "-p %d -r %d -f %d -b %d -q %d -i %d", Length::Plain, "videoPort, 1, 25, 512, 31, 100")
          .StatusIgnored()
          .Example("RestoreVideoDefaults()", CALL(c.RestoreVideoDefaults()), 1,
                   {{"0", "128", "71", "64", "0"}, {"0", "1", "25", "512", "31", "100"}})
          .Vmlctl("restore-video-defaults"));
  t.push_back(Op(SLOT(87, SetAudioVolume), kReserved, "bool SetAudioVolume(int32_t volume)",
                 "The picture page's volume slider 音量; not implemented.")
                  .Params({{"volume", "ignored"}})
                  .Result("false")
                  .LocalCode(Local::Sets10)
                  .Example("SetAudioVolume(50)", CALL(c.SetAudioVolume(50)), 0)
                  .VmlctlNote("no vmlctl command"));
  t.push_back(Reserved(SLOT(88, Reserved88), "int32_t Reserved88()", Local::Sets10, CALL(c.Reserved88()),
                       "Reserved88()"));
  t.push_back(Op(SLOT(89, SetAudioMute), kReserved, "bool SetAudioMute(bool on)",
                 "The picture page's mute box 静音; not implemented.")
                  .Params({{"on", "ignored"}})
                  .Result("false")
                  .LocalCode(Local::Sets10)
                  .Example("SetAudioMute(true)", CALL(c.SetAudioMute(true)), 0)
                  .VmlctlNote("no vmlctl command"));
  t.push_back(Op(SLOT(90, SetPtzParameters), kSerial, "bool SetPtzParameters(int32_t rValue, int32_t sValue)",
                 "Sends two parameters of the current video port's PTZ head (their meaning is the device's).")
                  .Params({{"rValue", "sent as given"}, {"sValue", "sent as given"}})
                  .Sends(62, "-p %d -r %d -s %d", Length::Plain, "videoPort, rValue, sValue")
                  .Example("SetPtzParameters(3, 4) on video port 1", CALL(c.SetPtzParameters(3, 4)), 1,
                           {{"1", "3", "4"}}, 1)
                  .Vmlctl("--video-port 1 ptz-parameters 3 4"));
  t.push_back(
      Op(SLOT(91, SetVideoParamT), kEncoder,
         "bool SetVideoParamT(const char* valueText, int32_t videoPortNumber)",
         "Writes the encoder parameter t as text, to the video port given here (not the current one).")
          .Params({{"valueText", "text of at most 247 characters"},
                   {"videoPortNumber", "the video port, sent first"}})
          .Sends(31, "-p %d -t %s", Length::Plain, "videoPortNumber, valueText")
          .Refuses("a null text, one holding a hyphen, or one longer than 247 characters",
                   CALL(c.SetVideoParamT(nullptr, 1)))
          .Example("SetVideoParamT(\"12\", 1)", CALL(c.SetVideoParamT("12", 1)), 1, {{"1", "12"}})
          .Vmlctl("set-param-t 12 1"));

  // ---- Outside the table ---------------------------------------------------------------------
  t.push_back(Op(OUTSIDE(VmlCmdGetOsdCaptionEx), kExtensions,
                 "bool VmlCmdGetOsdCaptionEx(ICommand* command, bool* show, int32_t* position, char* "
                 "caption, int32_t "
                 "captionSize)",
                 "GetOsdCaption with a caption buffer of known size: writes at most captionSize bytes, NUL "
                 "included, cut at "
                 "a character boundary.")
                  .Params({{"command", "the object"},
                           {"show, position", "outputs, as GetOsdCaption"},
                           {"caption", "buffer"},
                           {"captionSize", "its size in bytes, at least 1"}})
                  .Sends(26, "-p %d", Length::Plain, "videoPort")
                  .MissingValueSucceeds()
                  .Reads("as GetOsdCaption")
                  .Refuses("a null object or output, or captionSize below 1",
                           RUN(bool s = false; int32_t p = 0; char text[8];
                               return VmlCmdGetOsdCaptionEx(&c, &s, &p, text, 0);))
                  .Example("VmlCmdGetOsdCaptionEx(command, ..., 280) on a caption of 120 characters",
                           RUN(bool s = false; int32_t p = 0; char text[280];
                               return VmlCmdGetOsdCaptionEx(&c, &s, &p, text, sizeof text) &&
                                      std::strlen(text) == 120;),
                           1, {{"0"}}, 0, "-g 1 -l 2 -w " + std::string(120, 'c'))
                  .Vmlctl("osd caption"));
  // The two version queries differ only in their names.
  const auto version = [&t](const char* name, const std::string& description, auto call) {
    const std::string function(name);
    t.push_back(
        Op(-1, name, -1, kExtensions, "int32_t " + function + "(ICommand* command)", description)
            .Params({{"command", "the object"}})
            .Result(
                "the version; 0 on any failure (the outcome tells a failure from a device that reports 0)")
            .Sends(1, "-p 1", Length::Plain, "")
            .Reads("as GetSerialBaudRate: the number after 'b' once the text holds 'p' followed by 1")
            .Example(function + "(command) on a reply \"-p 1 -b 4660\"", call, 4660, {{}}, 0, "-p 1 -b 4660")
            .Vmlctl("versions"));
  };
  version("VmlCmdQueryBspVersion",
          "Reads the device's BSP version number, which the device-configuration dialog shows.",
          CALL(VmlCmdQueryBspVersion(&c)));
  version(
      "VmlCmdQueryNapiVersion",
      "Reads the device's NAPI version number, which the device-configuration dialog shows; the request and "
      "the reading are those of VmlCmdQueryBspVersion.",
      CALL(VmlCmdQueryNapiVersion(&c)));
  t.push_back(
      Op(OUTSIDE(VmlCmdSetSerialConfirm), kExtensions,
         "void VmlCmdSetSerialConfirm(VmlCmdSerialConfirm confirm, void* context)",
         "Installs the callback that confirms (and may change) the serial settings before OpenSerialLink "
         "opens a port; without one the defaults 115200 8N1 are taken. On Windows the system's "
         "port-settings dialog plays this part.")
          .Params({{"confirm", "the callback, or null for the defaults"}, {"context", "passed to it"}})
          .Result(kNone)
          .Example("VmlCmdSetSerialConfirm(nullptr, nullptr)",
                   RUN(static_cast<void>(c); VmlCmdSetSerialConfirm(nullptr, nullptr); return 0;), 0)
          .VmlctlNote("no vmlctl command"));
  t.push_back(
      Op(OUTSIDE(VmlCmdGetLastOutcome), kExtensions,
         "bool VmlCmdGetLastOutcome(ICommand* command, VmlCmdOutcome* outcome)",
         "Copies how the object's own last operation ended: the stage (VmlCmdStage), the result code it "
         "left, the reply status, the exchange, the system error and the time it took. Unlike the "
         "library-wide result code it belongs to the object, and it says why a device that never "
         "answered failed.")
          .Params({{"command", "the object"},
                   {"outcome",
                    "record whose size field the caller sets to sizeof(VmlCmdOutcome); a "
                    "smaller (older) record gets the fields it has room for"}})
          .Result("true; false when command or outcome is null or outcome->size is below 8")
          .Example(
              "VmlCmdGetLastOutcome(command, &outcome) with outcome.size 4, less than its first two fields,",
              RUN(VmlCmdOutcome o{}; o.size = 4; return VmlCmdGetLastOutcome(&c, &o);), 0)
          .VmlctlNote("no vmlctl command"));
  t.push_back(
      Op(OUTSIDE(VmlCmdGetStageText), kExtensions,
         "int32_t VmlCmdGetStageText(int32_t stage, int32_t language, char* buffer, int32_t bufferSize)",
         "A short text of an outcome stage: language 0 English (ASCII), 1 Simplified Chinese (UTF-8 on "
         "Linux, the host's ANSI code page on Windows), cut at a whole character to fit bufferSize.")
          .Params({{"stage", "a VmlCmdStage"},
                   {"language", "0 English, 1 Simplified Chinese"},
                   {"buffer", "the text's buffer"},
                   {"bufferSize", "its size in bytes, NUL included"}})
          .Result("the bytes written without the NUL; 0 for an unknown stage or language, or no buffer")
          .Example("VmlCmdGetStageText(VmlCmdStageReplyTimedOut, 0, text, 64): \"no reply within 1 s\"",
                   RUN(static_cast<void>(c); char text[64];
                       return VmlCmdGetStageText(VmlCmdStageReplyTimedOut, 0, text, sizeof text);),
                   19)
          .VmlctlNote("no vmlctl command"));
  return t;
}

}  // namespace

const std::vector<Operation>& Operations() {
  static const std::vector<Operation> operations = Build();
  return operations;
}

std::string Fill(const std::string& format, const std::vector<std::string>& values) {
  std::string text;
  std::size_t next = 0;
  for (const char* p = format.c_str(); *p != '\0'; ++p) {
    if (p[0] == '%' && (p[1] == 'd' || p[1] == 's')) {
      text += next < values.size() ? values[next] : "<missing>";
      ++next;
      ++p;
    } else {
      text += *p;
    }
  }
  if (next != values.size()) text += "<" + std::to_string(values.size() - next) + " values left over>";
  return text;
}

}  // namespace vml::reference
