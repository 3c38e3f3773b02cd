// VmlCmd — client library for networked video servers.
//
// A host loads the library, calls CreateICommand() and gets one command object per device.
// Every operation is a slot of the ICommand table and is called by its position, so the order
// and the signatures below are the binary contract with hosts: never reorder, insert or
// overload them. The object is released with Release() (slot 7), never with delete.
//
// Results: operations return a one-byte bool or a 32-bit int, false or 0 on every failure, and
// leave the reason in one library-wide result code whose text GetErrorText() (slot 5) returns.
// Result codes: 9 success, 10 not implemented, 11 wrong user name, 12 wrong password,
// 13 invalid video connection ticket, 14 wrong video port, 15 invalid argument,
// 16 unknown NAPI error, 17 invalid NAPI command, 18 NAPI version conflict.
//
// Every device operation is one short TCP transaction: connect, log in, one request, one reply,
// close. Nothing is cached. Every wait ends at a deadline on a monotonic clock, so signals that
// interrupt the host's calls never stretch it:
// - connect: 100 ms;
// - each send: 1 s (a request is at most 272 bytes, so in practice it leaves at once);
// - each reply: 1 s from the start of that reply, however many pieces it arrives in. A reply is
//   read whole: its 20-byte header, then the text its length announces (as far as 299 bytes
//   hold; what is announced beyond that is read and dropped within the same second). A reply that
//   stays shorter than it announces counts as what arrived once the device closes or the second
//   is over, its missing header bytes reading as zero; bytes left over from one reply are never
//   taken for the next.
// So an operation ends within about 2.1 s (connect, the login's reply, the request's reply), and
// GetVideoSettings, SetVideoSettings and RestoreVideoDefaults (slots 84 to 86: a login and two
// exchanges on one connection) within about 3.1 s. A failed operation is never retried.
//
// Threads: an object is used by one thread at a time. Objects used on different threads are
// independent (one object per device and thread is the usual way), but the result code is one
// for the whole module, so a multi-threaded host reads each object's own VmlCmdGetLastOutcome().
// The library starts no threads, and never raises SIGPIPE.
//
// Bounds this library adds for safety (hosts written for other builds may rely on them):
// - Request texts are at most 255 characters. An operation whose texts would not fit, or that
//   is given a null text or a null out-pointer, returns false/0 with result code 15 before
//   anything is sent.
// - A free text that holds a hyphen is refused the same way (result code 15, nothing sent): the
//   device splits a request at every hyphen, so it would receive the text cut there and read the
//   rest as further options. This holds for the addresses of slots 14, 23, 25 and 27, the user
//   name and password of SetAccount (slot 17), the caption of SetOsdCaption (slot 70) and the
//   value text of SetVideoParamT (slot 91). SetNetworkTarget (slot 9) refuses a user name or
//   password with a hyphen with result code 15 and keeps the target it had. The texts of
//   SendCommand51 and SendCommand52 (slots 48, 49) go as given: the library knows nothing of those
//   commands' options, so a host may carry further options in them.
// - Address outputs (GetIpAddress, GetSubnetMask, GetGateway) write at most
//   VMLCMD_ADDRESS_BUFFER_SIZE bytes including the NUL; a longer device value is cut.
// - GetOsdCaption writes at most VMLCMD_CAPTION_BUFFER_SIZE bytes including the NUL; use
//   VmlCmdGetOsdCaptionEx() to read a longer caption into a buffer of known size.
// - GetVendorName writes nothing and returns 0 when bufferSize is 1 to 6 (the name needs 7
//   bytes) or the buffer is null or not writable; bufferSize 0 means "large enough".
#ifndef VMLCMD_ICOMMAND_H
#define VMLCMD_ICOMMAND_H

#include <stdint.h>

// The library's version; the build, the packages and the tools' --version all read it from here.
#define VMLCMD_VERSION_MAJOR 0
#define VMLCMD_VERSION_MINOR 1
#define VMLCMD_VERSION_PATCH 0

#if defined(_WIN32)
#if defined(VMLCMD_BUILDING)
#define VMLCMD_API __declspec(dllexport)
#else
#define VMLCMD_API __declspec(dllimport)
#endif
#else
#define VMLCMD_API __attribute__((visibility("default")))
#endif

#define VMLCMD_ADDRESS_BUFFER_SIZE 16
#define VMLCMD_CAPTION_BUFFER_SIZE 50

// Which link a command object uses; device operations run only over the network link.
enum ConnectionMode : int32_t { ConnectionModeNone = 0, ConnectionModeSerial = 1, ConnectionModeNetwork = 2 };

// All encoder and picture values of one video port, exchanged by slots 84 and 85. The picture
// values are device values: contrast, saturation and hue are 128 below the 0..255 scale of
// the single-value operations (slots 58 to 65).
struct VideoSettings {
  int32_t spare;  // never read or written by the library
  int32_t paramT;
  int32_t bitrate;
  int32_t frameRate;
  int32_t iFrameInterval;
  int32_t quantStep;
  int32_t paramR;
  int32_t brightness;
  int32_t contrast;
  int32_t saturation;
  int32_t hue;
};

// The table. Slot numbers are in the comments; slots named ReservedN do nothing useful and
// exist only to keep the positions of the others.
class ICommand {
 public:
  virtual int32_t GetVendorName(int32_t bufferSize, char* name) = 0;  // 0
  virtual int32_t Reserved1() = 0;                                    // 1
  virtual int32_t Reserved2() = 0;                                    // 2
  virtual bool Reserved3(int32_t, int32_t, int32_t) = 0;              // 3
  virtual int32_t Reserved4(int32_t, int32_t, int32_t) = 0;           // 4
  virtual int32_t GetErrorText(int32_t bufferSize, char* text) = 0;   // 5
  virtual bool SetReservedValue(int32_t value) = 0;                   // 6
  virtual void Release() = 0;                                         // 7
  virtual bool OpenSerialLink(int32_t portNumber) = 0;                // 8
  virtual bool SetNetworkTarget(const char* ipAddress, int32_t port, const char* userName,
                                const char* password) = 0;  // 9
  virtual bool Reserved10(int32_t, int32_t, int32_t) = 0;   // 10
  virtual int32_t Reserved11() = 0;                         // 11
  virtual int32_t Reserved12() = 0;                         // 12
  virtual bool SetDeviceTime(int32_t year, uint8_t month, uint8_t day, uint8_t hour, uint8_t minute,
                             uint8_t second) = 0;  // 13
  virtual bool SetNetworkConfig(const char* ipAddress, const char* subnetMask,
                                const char* gateway) = 0;                              // 14
  virtual bool SendCommand8() = 0;                                                     // 15
  virtual bool SendCommand9() = 0;                                                     // 16
  virtual bool SetAccount(const char* userName, const char* password) = 0;             // 17
  virtual bool SetPortSetting(int32_t port, uint8_t value) = 0;                        // 18
  virtual void SetVideoPort(int32_t videoPort) = 0;                                    // 19
  virtual bool CloseLink() = 0;                                                        // 20
  virtual bool Reserved21(int32_t) = 0;                                                // 21
  virtual bool Reserved22(int32_t) = 0;                                                // 22
  virtual bool SetIpAddress(const char* ipAddress) = 0;                                // 23
  virtual bool GetIpAddress(char* ipAddress) = 0;                                      // 24
  virtual bool SetSubnetMask(const char* subnetMask) = 0;                              // 25
  virtual bool GetSubnetMask(char* subnetMask) = 0;                                    // 26
  virtual bool SetGateway(const char* gateway) = 0;                                    // 27
  virtual bool GetGateway(char* gateway) = 0;                                          // 28
  virtual int32_t ShowDeviceConfigDialog() = 0;                                        // 29
  virtual bool SetPtzProtocol(int32_t protocol, int32_t ptzIndex) = 0;                 // 30
  virtual bool SetPtzAddress(int32_t address, int32_t ptzIndex) = 0;                   // 31
  virtual bool SetSerialBaudRate(int32_t baudRate) = 0;                                // 32
  virtual int32_t GetSerialBaudRate() = 0;                                             // 33
  virtual bool SetPtzAux(int32_t auxIndex, bool on) = 0;                               // 34
  virtual bool SetPtzLight(bool on) = 0;                                               // 35
  virtual bool SetPtzWiper(bool on) = 0;                                               // 36
  virtual bool PtzAuto(bool on) = 0;                                                   // 37
  virtual bool PtzFocus(int32_t direction) = 0;                                        // 38
  virtual bool PtzPan(int32_t direction) = 0;                                          // 39
  virtual bool Reserved40(int32_t) = 0;                                                // 40
  virtual bool PtzTilt(int32_t direction) = 0;                                         // 41
  virtual bool Reserved42(int32_t) = 0;                                                // 42
  virtual bool Reserved43(int32_t) = 0;                                                // 43
  virtual bool PtzZoom(int32_t direction) = 0;                                         // 44
  virtual bool PtzIris(int32_t direction) = 0;                                         // 45
  virtual bool PtzStop() = 0;                                                          // 46
  virtual int32_t ShowPtzControlDialog() = 0;                                          // 47
  virtual bool SendCommand51(int32_t p, const char* t, const char* a, int32_t o) = 0;  // 48
  virtual bool SendCommand52(int32_t p, const char* t, const char* a, int32_t o) = 0;  // 49
  virtual bool SetVideoBitrate(int32_t bitrate) = 0;                                   // 50
  virtual int32_t GetVideoBitrate() = 0;                                               // 51
  virtual bool SetVideoFrameRate(int32_t frameRate) = 0;                               // 52
  virtual int32_t GetVideoFrameRate() = 0;                                             // 53
  virtual bool SetVideoIFrameInterval(int32_t interval) = 0;                           // 54
  virtual int32_t GetVideoIFrameInterval() = 0;                                        // 55
  virtual bool SetVideoParamR(int32_t value) = 0;                                      // 56
  virtual int32_t GetVideoParamR() = 0;                                                // 57
  virtual bool SetBrightness(int32_t brightness) = 0;                                  // 58
  virtual int32_t GetBrightness() = 0;                                                 // 59
  virtual bool SetContrast(int32_t contrast) = 0;                                      // 60
  virtual int32_t GetContrast() = 0;                                                   // 61
  virtual bool SetSaturation(int32_t saturation) = 0;                                  // 62
  virtual int32_t GetSaturation() = 0;                                                 // 63
  virtual bool SetHue(int32_t hue) = 0;                                                // 64
  virtual int32_t GetHue() = 0;                                                        // 65
  virtual bool SetMaskRegion(bool enabled, int32_t left, int32_t top, int32_t width, int32_t height,
                             int32_t reserved) = 0;  // 66
  virtual bool GetMaskRegion(bool* enabled, int32_t* left, int32_t* top, int32_t* width, int32_t* height,
                             int32_t reserved) = 0;  // 67
  virtual bool SetMotionRegion(bool enabled, int32_t left, int32_t top, int32_t width, int32_t height,
                               int32_t sensitivity, int32_t reserved) = 0;  // 68
  virtual bool GetMotionRegion(bool* enabled, int32_t* left, int32_t* top, int32_t* width, int32_t* height,
                               int32_t* sensitivity, int32_t reserved) = 0;               // 69
  virtual bool SetOsdCaption(bool show, int32_t positionIndex, const char* caption) = 0;  // 70
  // caption receives at most VMLCMD_CAPTION_BUFFER_SIZE bytes including the NUL.
  virtual bool GetOsdCaption(bool* show, int32_t* position, char* caption) = 0;       // 71
  virtual bool SetOsdTime(bool show, int32_t positionIndex) = 0;                      // 72
  virtual bool GetOsdTime(bool* show, int32_t* position) = 0;                         // 73
  virtual bool Reserved74(int32_t) = 0;                                               // 74
  virtual bool Reserved75(int32_t) = 0;                                               // 75
  virtual bool Reserved76() = 0;                                                      // 76
  virtual bool SetVideoQuantStep(int32_t quantStep) = 0;                              // 77
  virtual int32_t GetVideoQuantStep() = 0;                                            // 78
  virtual int32_t ShowVideoSettingsDialog() = 0;                                      // 79
  virtual bool Reserved80(int32_t, int32_t) = 0;                                      // 80
  virtual bool Reserved81(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) = 0;  // 81
  virtual int32_t Reserved82() = 0;                                                   // 82
  virtual int32_t Reserved83() = 0;                                                   // 83
  virtual bool GetVideoSettings(VideoSettings* settings) = 0;                         // 84
  virtual bool SetVideoSettings(const VideoSettings* settings) = 0;                   // 85
  virtual bool RestoreVideoDefaults() = 0;                                            // 86
  virtual bool SetAudioVolume(int32_t volume) = 0;                                    // 87
  virtual int32_t Reserved88() = 0;                                                   // 88
  virtual bool SetAudioMute(bool on) = 0;                                             // 89
  virtual bool SetPtzParameters(int32_t rValue, int32_t sValue) = 0;                  // 90
  virtual bool SetVideoParamT(const char* valueText, int32_t videoPortNumber) = 0;    // 91
  // Entry 92 of the object's table is its deleting destructor (an unsigned flags argument,
  // bit 0 = free the memory); hosts reach it through Release().

 protected:
  ~ICommand() = default;  // not virtual: a virtual destructor would add table entries
};

extern "C" {
// The factory: one new object per call, null when memory is exhausted.
VMLCMD_API ICommand* CreateICommand();

// Extensions outside the table.
//
// Reads the overlay caption like GetOsdCaption but writes at most captionSize bytes (NUL
// included); a caption that does not fit is cut at a character boundary of the byte string.
VMLCMD_API bool VmlCmdGetOsdCaptionEx(ICommand* command, bool* show, int32_t* position, char* caption,
                                      int32_t captionSize);

// The device's version numbers (command 1 with "-p 1"), which the device-configuration dialog
// shows as its BSP and NAPI versions: 0 on any failure, as the dialog reads them, so a host
// tells a failure from a device that reports 0 by the object's outcome. Both send the same
// request and read the same number.
VMLCMD_API int32_t VmlCmdQueryBspVersion(ICommand* command);
VMLCMD_API int32_t VmlCmdQueryNapiVersion(ICommand* command);

// Serial port settings offered to the user before a port opens (OpenSerialLink). Windows shows
// the system's port-settings dialog; elsewhere the callback installed here plays that part.
struct VmlCmdSerialSettings {
  uint32_t baudRate;  // bits per second
  uint8_t byteSize;   // data bits
  uint8_t parity;     // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t stopBits;   // 0 one, 1 one and a half, 2 two
  uint8_t reserved;
};
// Returns true when the user confirmed the (possibly changed) settings. With no callback the
// defaults (115200 baud, 8 data bits, no parity, one stop bit, no flow control) are confirmed.
typedef bool (*VmlCmdSerialConfirm)(const char* portName, VmlCmdSerialSettings* settings, void* context);
VMLCMD_API void VmlCmdSetSerialConfirm(VmlCmdSerialConfirm confirm, void* context);

// How an object's last operation ended. The module-wide result code says what the device
// answered, but not why a device that never answered failed, and it is shared by every object;
// the outcome is the object's own. Every device operation records it, and so do the operations
// that refuse their arguments or are not implemented; the local ones (GetVendorName,
// GetErrorText, SetNetworkTarget, SetVideoPort, CloseLink, OpenSerialLink, the dialogs and the
// reserved slots) leave it as it was, so a host can fetch the error text first. Reading it
// changes nothing, the result code included.
enum VmlCmdStage {
  VmlCmdStageNone = 0,             // no operation has run on this object yet
  VmlCmdStageSuccess = 1,          // the operation succeeded
  VmlCmdStageNoNetworkLink = 2,    // no network target set (or the serial link chosen)
  VmlCmdStageArgumentRefused = 3,  // an argument was refused before anything was sent
  VmlCmdStageAddressInvalid = 4,   // the target address is not a dotted-quad IPv4 address
  VmlCmdStageConnectRefused = 5,   // the device refused the connection
  VmlCmdStageConnectTimedOut = 6,  // no connection within 100 ms
  VmlCmdStageConnectFailed = 7,    // the connection failed otherwise (see systemError)
  VmlCmdStageLoginRefused = 8,     // the login reply had a non-zero status (see status)
  VmlCmdStageSendFailed = 9,       // a request could not be sent
  VmlCmdStageReplyTimedOut = 10,   // no reply byte within the receive time-out
  VmlCmdStageClosedByDevice = 11,  // the device closed the connection before any reply byte
  VmlCmdStageReceiveFailed = 12,   // the receive failed otherwise, e.g. a reset (see systemError)
  VmlCmdStageReplyStatus = 13,     // the reply had a non-zero status (see status)
  VmlCmdStageValueMissing = 14,    // the reply lacked a value (see letter)
  VmlCmdStageNotImplemented = 15,  // the operation is not implemented (result code 10)
  // The reply's first field is not 100: the peer does not speak NAPI (a wrong port reaching
  // another service, say). replyMagic holds what it sent; the result code follows the status
  // the bytes seemed to carry, as for any reply.
  VmlCmdStageNotNapiDevice = 16,
  VmlCmdStageCount
};

// Which exchange of the operation the stage belongs to.
enum VmlCmdExchange {
  VmlCmdExchangeNone = 0,     // ended before anything was sent
  VmlCmdExchangeLogin = 1,    // the login (command 45)
  VmlCmdExchangeRequest = 2,  // the operation's request (the first one of slots 84 to 86)
  VmlCmdExchangeSecond = 3,   // the second request of slots 84 to 86
};

// Set size to sizeof(VmlCmdOutcome) before the call; a record from an older header (a smaller
// size) gets the fields it has room for, so the record can grow at its end.
struct VmlCmdOutcome {
  uint32_t size;
  int32_t stage;                 // VmlCmdStage
  int32_t resultCode;            // the module-wide result code as this operation left it
  int32_t status;                // the reply status for LoginRefused, ReplyStatus, NotNapiDevice; else 0
  int32_t exchange;              // VmlCmdExchange
  int32_t systemError;           // errno, or the Winsock error, where one exists; else 0
  uint32_t elapsedMicroseconds;  // from the start of the operation to its end
  char letter;                   // for ValueMissing: the letter the reply lacked
  char reserved[3];
  int32_t replyMagic;  // for NotNapiDevice: the reply's first field as it came; else 0
};

// Copies the outcome of command's last operation. False when command or outcome is null or
// outcome->size is smaller than its first two fields.
VMLCMD_API bool VmlCmdGetLastOutcome(ICommand* command, VmlCmdOutcome* outcome);

// A short text of a stage: language 0 English (ASCII), 1 Simplified Chinese (UTF-8 on Linux,
// the host's ANSI code page on Windows). Writes at most bufferSize bytes, NUL included, cut at
// a whole character, and returns the bytes written without the NUL; 0 for an unknown stage or
// language, or no buffer.
VMLCMD_API int32_t VmlCmdGetStageText(int32_t stage, int32_t language, char* buffer, int32_t bufferSize);
}

#endif
