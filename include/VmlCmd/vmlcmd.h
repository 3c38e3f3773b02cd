/* VmlCmd — the flat C interface, for hosts in any language.
 *
 * The same library and the same command object as ICommand.h, reached through plain C
 * functions instead of a C++ table: an opaque handle per device, a status returned by every
 * call, the details of a handle's last call kept on that handle, UTF-8 texts. C89; include this
 * header alone and link with -lVmlCmd (VmlCmd.lib or libVmlCmd.dll.a on Windows).
 *
 *   vmlcmd_device* camera;
 *   int bitrate;
 *   if (vmlcmd_device_open("127.0.0.1", 8000, "admin", "admin", &camera) == 0) {
 *     int status = vmlcmd_get_video_bitrate(camera, &bitrate);
 *     if (status != 0) printf("%s\n", vmlcmd_status_text(status));
 *     vmlcmd_device_close(camera);
 *   }
 *
 * Statuses: every function returns 0 on success and otherwise the stage where the call ended
 * (VMLCMD_STATUS_..., the numbers of VmlCmdStage in ICommand.h); vmlcmd_last_result() gives the
 * details (the device's reply status, the system error, the time taken). A call that refuses
 * its arguments returns VMLCMD_STATUS_ARGUMENT_REFUSED and sends nothing: a null handle or
 * pointer, a text that is not UTF-8 or that the device's code page cannot carry, a text too
 * long for the request, a value out of its range.
 *
 * Texts are UTF-8 in and out. The device speaks Simplified Chinese (code page 936); the library
 * converts both ways. An output text is cut at a whole character to fit its buffer and always
 * NUL-terminated; outputs are written only when the call succeeds.
 *
 * Every device operation is one transaction: connect (100 ms at most), log in, one request,
 * one reply (one second each), close; vmlcmd_get_video_settings, vmlcmd_set_video_settings and
 * vmlcmd_restore_video_defaults send two requests after one login. Nothing is retried.
 *
 * Threads: a handle is used by one thread at a time. Handles used on different threads are
 * fully independent, statuses and details included: this interface never reads the
 * module-wide result code of ICommand (which the table's operations keep updating for hosts
 * of the table). The library starts no threads and never raises SIGPIPE.
 *
 * Calling convention: VMLCMD_CALL, __stdcall on 32-bit Windows (what Win32 functions and
 * P/Invoke expect), exported by undecorated name; the platform's C convention elsewhere.
 */
#ifndef VMLCMD_VMLCMD_H
#define VMLCMD_VMLCMD_H

#include <stddef.h>

/* The library's version, as in ICommand.h. */
#define VMLCMD_VERSION_MAJOR 0
#define VMLCMD_VERSION_MINOR 1
#define VMLCMD_VERSION_PATCH 0
#define VMLCMD_VERSION_NUMBER \
  (VMLCMD_VERSION_MAJOR * 10000 + VMLCMD_VERSION_MINOR * 100 + VMLCMD_VERSION_PATCH)

#if defined(_WIN32) && !defined(_WIN64)
#define VMLCMD_CALL __stdcall
#else
#define VMLCMD_CALL
#endif

#if defined(_WIN32)
#if defined(VMLCMD_BUILDING)
#define VMLCMD_C_API /* the module's export list names them, undecorated */
#else
#define VMLCMD_C_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define VMLCMD_C_API __attribute__((visibility("default")))
#else
#define VMLCMD_C_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Statuses: 0, or the stage of the call's end. */
#define VMLCMD_OK 0
#define VMLCMD_STATUS_NO_NETWORK_LINK 2   /* no network target (never after vmlcmd_device_open) */
#define VMLCMD_STATUS_ARGUMENT_REFUSED 3  /* an argument was refused; nothing was sent */
#define VMLCMD_STATUS_ADDRESS_INVALID 4   /* the host is not a dotted-quad IPv4 address */
#define VMLCMD_STATUS_CONNECT_REFUSED 5   /* nothing listens at the address and port */
#define VMLCMD_STATUS_CONNECT_TIMED_OUT 6 /* no connection within 100 ms */
#define VMLCMD_STATUS_CONNECT_FAILED 7    /* the connection failed otherwise (system_error) */
#define VMLCMD_STATUS_LOGIN_REFUSED 8     /* the login got a non-zero status (reply_status) */
#define VMLCMD_STATUS_SEND_FAILED 9       /* a request could not be sent */
#define VMLCMD_STATUS_REPLY_TIMED_OUT 10  /* no reply within one second */
#define VMLCMD_STATUS_CLOSED_BY_DEVICE 11 /* the device closed the connection before replying */
#define VMLCMD_STATUS_RECEIVE_FAILED 12   /* the receive failed otherwise, e.g. a reset */
#define VMLCMD_STATUS_REPLY_STATUS 13     /* the device refused the request (reply_status) */
#define VMLCMD_STATUS_VALUE_MISSING 14    /* the reply lacked a value (letter) */
#define VMLCMD_STATUS_OUT_OF_MEMORY 100   /* vmlcmd_device_open could not allocate the object */

/* One device: a command object pointed at it. Opaque. */
typedef struct vmlcmd_device vmlcmd_device;

/* The details of a handle's last call. Set size to sizeof(vmlcmd_result) first; a record of an
 * older, smaller header gets the fields it has room for, so the record can grow at its end. */
typedef struct vmlcmd_result {
  unsigned int size;
  int status;              /* what the call returned: 0 or VMLCMD_STATUS_... */
  int reply_status;        /* the device's status for LOGIN_REFUSED and REPLY_STATUS, else 0 */
  int exchange;            /* 0 nothing sent, 1 the login, 2 the request, 3 the second request */
  int system_error;        /* errno, or the Winsock error, where there is one; else 0 */
  unsigned int elapsed_us; /* from the start of the call to its end */
  char letter;             /* for VALUE_MISSING: the letter the reply lacked */
  char reserved[3];
} vmlcmd_result;

/* All encoder and picture values of the current video port (device values: contrast,
 * saturation and hue are 128 below the 0..255 scale of the single-value functions). Set size
 * to sizeof(vmlcmd_video_settings) first. */
typedef struct vmlcmd_video_settings {
  unsigned int size;
  int param_t;
  int bitrate;
  int frame_rate;
  int i_frame_interval;
  int quant_step;
  int param_r;
  int brightness;
  int contrast;
  int saturation;
  int hue;
} vmlcmd_video_settings;

/* ---- Handles, results, texts ----------------------------------------------------------- */

/* A new handle for the device at host (dotted IPv4) and port (0 to 65535), logging in with
 * user and password. Sends nothing: the first device operation connects. *out is NULL on
 * failure. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_device_open(const char* host, int port, const char* user,
                                                const char* password, vmlcmd_device** out);
/* Closes the handle (NULL is fine); it is invalid afterwards. */
VMLCMD_C_API void VMLCMD_CALL vmlcmd_device_close(vmlcmd_device* device);
/* Chooses the video port (0 for the first) that the per-port operations address. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_video_port(vmlcmd_device* device, int video_port);
/* Copies the details of the handle's last call (this one excepted, which changes nothing).
 * Refuses a NULL argument or a size below 8. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_last_result(vmlcmd_device* device, vmlcmd_result* result);
/* A static English text of a status; "unknown status" for any other number. */
VMLCMD_C_API const char* VMLCMD_CALL vmlcmd_status_text(int status);
/* VMLCMD_VERSION_NUMBER of the library that runs. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_version(void);

/* ---- Device texts ---------------------------------------------------------------------- */

/* A device keeps its texts (the caption, its addresses, the account, the texts of commands 51
 * and 52 and the encoder's t value) as bytes of one code page: 936 (Simplified Chinese), as
 * Windows hosts write them, unless a deployment's devices keep another. Every text of this
 * interface is UTF-8 and is converted with the handle's encoding; the functions below are the
 * same conversions, for programs that hold device bytes of their own. */
#define VMLCMD_TEXT_ENCODING_CP936 936
#define VMLCMD_TEXT_ENCODING_UTF8 65001

/* The code page of an encoding's name: "cp936" (also "gbk" and "936"), "utf-8" (also "utf8"
 * and "65001"), or "cpN" for the system's code page N; case is ignored. -1 for any other name
 * and for a code page the system cannot convert. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_text_encoding(const char* name);
/* UTF-8 to device bytes: the bytes written, with a NUL after them, or -1 when text is not
 * UTF-8, holds a character the encoding lacks, or does not fit in size - 1 bytes. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_text_to_device(int encoding, const char* text, char* out, size_t size);
/* Device bytes (up to their NUL) to UTF-8: the bytes written, with a NUL after them, or -1
 * when the bytes are not valid in the encoding or the result does not fit in size - 1 bytes.
 * Nothing is ever replaced, so a caller can keep bytes that are not text as they are. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_text_from_device(int encoding, const char* bytes, char* out, size_t size);
/* The encoding of the handle's device texts, VMLCMD_TEXT_ENCODING_CP936 when opened; refuses a
 * code page the system cannot convert. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_text_encoding(vmlcmd_device* device, int encoding);

/* Device operations follow: one per operation of the table that talks to the device, named
 * after it. Each is one transaction; see the operation reference for what goes on the wire. */

/* ---- Clock, account, system ------------------------------------------------------------ */

/* Sets the device's clock; month to second: 0 to 255. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_device_time(vmlcmd_device* device, int year, int month, int day,
                                                    int hour, int minute, int second);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_send_command_8(vmlcmd_device* device);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_send_command_9(vmlcmd_device* device);
/* Changes the account the device holds; the handle keeps logging in as opened. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_account(vmlcmd_device* device, const char* user,
                                                const char* password);
/* Writes the one-byte setting (value 0 to 255) of a numbered port. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_port_setting(vmlcmd_device* device, int port, int value);

/* The device's BSP version number (command 1, outside the table: VmlCmdQueryBspVersion). */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_bsp_version(vmlcmd_device* device, int* version);
/* The device's NAPI version number: the same request and reply as the BSP version's. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_napi_version(vmlcmd_device* device, int* version);

/* ---- Network identity ------------------------------------------------------------------ */

/* Writes the address, subnet mask and gateway in one request. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_network_config(vmlcmd_device* device, const char* ip_address,
                                                       const char* subnet_mask, const char* gateway);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_ip_address(vmlcmd_device* device, const char* ip_address);
/* The address outputs hold at most 15 characters (as the device's field does). */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_ip_address(vmlcmd_device* device, char* ip_address, size_t size);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_subnet_mask(vmlcmd_device* device, const char* subnet_mask);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_subnet_mask(vmlcmd_device* device, char* subnet_mask, size_t size);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_gateway(vmlcmd_device* device, const char* gateway);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_gateway(vmlcmd_device* device, char* gateway, size_t size);

/* ---- Serial line and PTZ heads --------------------------------------------------------- */

/* ptz_index: 0 for the first head. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_ptz_protocol(vmlcmd_device* device, int protocol, int ptz_index);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_ptz_address(vmlcmd_device* device, int address, int ptz_index);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_serial_baud_rate(vmlcmd_device* device, int baud_rate);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_serial_baud_rate(vmlcmd_device* device, int* baud_rate);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_ptz_parameters(vmlcmd_device* device, int r_value, int s_value);

/* ---- PTZ movement ---------------------------------------------------------------------- */

/* Moves the current video port's head: a move lasts until vmlcmd_ptz_stop. A
 * direction's sign chooses the way (right and up positive); 0 is refused. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_ptz_auto(vmlcmd_device* device, int on);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_ptz_focus(vmlcmd_device* device, int direction);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_ptz_pan(vmlcmd_device* device, int direction);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_ptz_tilt(vmlcmd_device* device, int direction);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_ptz_zoom(vmlcmd_device* device, int direction);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_ptz_iris(vmlcmd_device* device, int direction);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_ptz_stop(vmlcmd_device* device);

/* ---- Commands 51 and 52 ---------------------------------------------------------------- */

/* Four fields of the host's; the video port is not used. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_send_command_51(vmlcmd_device* device, int p, const char* t,
                                                    const char* a, int o);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_send_command_52(vmlcmd_device* device, int p, const char* t,
                                                    const char* a, int o);

/* ---- Encoder --------------------------------------------------------------------------- */

/* Of the current video port; vmlcmd_set_video_param_t addresses the port it is given. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_video_bitrate(vmlcmd_device* device, int bitrate);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_video_bitrate(vmlcmd_device* device, int* bitrate);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_video_frame_rate(vmlcmd_device* device, int frame_rate);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_video_frame_rate(vmlcmd_device* device, int* frame_rate);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_video_i_frame_interval(vmlcmd_device* device, int interval);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_video_i_frame_interval(vmlcmd_device* device, int* interval);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_video_param_r(vmlcmd_device* device, int value);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_video_param_r(vmlcmd_device* device, int* value);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_video_quant_step(vmlcmd_device* device, int quant_step);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_video_quant_step(vmlcmd_device* device, int* quant_step);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_video_param_t(vmlcmd_device* device, const char* value_text,
                                                      int video_port);

/* ---- Picture --------------------------------------------------------------------------- */

/* Of the current video port, on the 0..255 scale. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_brightness(vmlcmd_device* device, int brightness);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_brightness(vmlcmd_device* device, int* brightness);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_contrast(vmlcmd_device* device, int contrast);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_contrast(vmlcmd_device* device, int* contrast);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_saturation(vmlcmd_device* device, int saturation);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_saturation(vmlcmd_device* device, int* saturation);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_hue(vmlcmd_device* device, int hue);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_hue(vmlcmd_device* device, int* hue);

/* ---- All video settings ---------------------------------------------------------------- */

/* Two requests after one login. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_video_settings(vmlcmd_device* device,
                                                       vmlcmd_video_settings* settings);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_video_settings(vmlcmd_device* device,
                                                       const vmlcmd_video_settings* settings);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_restore_video_defaults(vmlcmd_device* device);

/* ---- Regions --------------------------------------------------------------------------- */

/* Privacy-mask and motion-detection rectangles of the current video port. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_mask_region(vmlcmd_device* device, int enabled, int left, int top,
                                                    int width, int height);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_mask_region(vmlcmd_device* device, int* enabled, int* left, int* top,
                                                    int* width, int* height);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_motion_region(vmlcmd_device* device, int enabled, int left, int top,
                                                      int width, int height, int sensitivity);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_motion_region(vmlcmd_device* device, int* enabled, int* left,
                                                      int* top, int* width, int* height, int* sensitivity);

/* ---- Overlay --------------------------------------------------------------------------- */

/* On-screen caption and clock of the current video port. position: 1 top left to 8 bottom
 * right, both ways (other values are refused). The caption is UTF-8; the device holds it in
 * the handle's encoding (code page 936 unless set), so a character the encoding lacks is
 * refused, and device bytes that are not valid in it read as U+FFFD. */
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_osd_caption(vmlcmd_device* device, int show, int position,
                                                    const char* text);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_osd_caption(vmlcmd_device* device, int* show, int* position,
                                                    char* text, size_t size);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_set_osd_time(vmlcmd_device* device, int show, int position);
VMLCMD_C_API int VMLCMD_CALL vmlcmd_get_osd_time(vmlcmd_device* device, int* show, int* position);

#ifdef __cplusplus
}
#endif

#endif
