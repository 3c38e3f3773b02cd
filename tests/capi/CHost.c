/* A host written in C89 that includes only vmlcmd.h and links the shared library (or the DLL,
 * under Wine), against a napi-sim process (VMLCMD_SIM_PORT): a bitrate and a Chinese caption
 * written and read back, the statuses of a wrong password, a closed port and a text the device
 * cannot hold, and 16 threads with one handle each, some failing, each seeing only its own
 * statuses. */
#ifdef _WIN32
/* Winsock's headers before windows.h, which would bring in the old ones. */
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>
typedef SOCKET socket_handle;
#define NO_SOCKET INVALID_SOCKET
#define close_socket closesocket
typedef HANDLE thread_handle;
#else
#define _POSIX_C_SOURCE 200112L
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>
typedef int socket_handle;
#define NO_SOCKET (-1)
#define close_socket close
typedef pthread_t thread_handle;
#endif

#include <VmlCmd/vmlcmd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures = 0;

static void expect(int ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "FAILED: %s\n", what);
    ++failures;
  }
}

/* A loopback port nothing listens on: bound once by the system's choice, then released. */
static int closed_port(void) {
  struct sockaddr_in address;
  socklen_t length = sizeof address;
  int port = 0;
  socket_handle fd;
#ifdef _WIN32
  WSADATA winsock;
  if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) return 0;
#endif
  fd = socket(AF_INET, SOCK_STREAM, 0);
  memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd != NO_SOCKET && bind(fd, (struct sockaddr*)&address, sizeof address) == 0 &&
      getsockname(fd, (struct sockaddr*)&address, &length) == 0) {
    port = ntohs(address.sin_port);
  }
  if (fd != NO_SOCKET) close_socket(fd);
  return port;
}

struct worker {
  int index;
  int port;
  const char* password;
  int expected;
  int wrong;
};

static void* work(void* argument) {
  struct worker* w = (struct worker*)argument;
  vmlcmd_device* device = NULL;
  vmlcmd_result result;
  int i;
  int value;
  int status;
  if (vmlcmd_device_open("127.0.0.1", w->port, "admin", w->password, &device) != VMLCMD_OK) {
    w->wrong = -1;
    return NULL;
  }
  vmlcmd_set_video_port(device, w->index % 4);
  for (i = 0; i < 20; ++i) {
    value = -1;
    status = vmlcmd_get_video_bitrate(device, &value);
    result.size = sizeof result;
    if (status != w->expected || vmlcmd_last_result(device, &result) != VMLCMD_OK ||
        result.status != status || (status == VMLCMD_OK && value <= 0)) {
      ++w->wrong;
    }
  }
  vmlcmd_device_close(device);
  return NULL;
}

#ifdef _WIN32
static DWORD WINAPI run_work(LPVOID argument) {
  work(argument);
  return 0;
}
static int start_thread(thread_handle* id, struct worker* w) {
  *id = CreateThread(NULL, 0, run_work, w, 0, NULL);
  return *id != NULL;
}
static void join_thread(thread_handle id) {
  WaitForSingleObject(id, INFINITE);
  CloseHandle(id);
}
#else
static int start_thread(thread_handle* id, struct worker* w) {
  return pthread_create(id, NULL, work, w) == 0;
}
static void join_thread(thread_handle id) { pthread_join(id, NULL); }
#endif

static void threads(int port, int closed) {
  struct worker workers[16];
  thread_handle ids[16];
  int i;
  for (i = 0; i < 16; ++i) {
    workers[i].index = i;
    workers[i].port = i % 4 == 3 ? closed : port;
    workers[i].password = i % 4 == 1 ? "wrong" : "admin";
    workers[i].expected = i % 4 == 1   ? VMLCMD_STATUS_LOGIN_REFUSED
                          : i % 4 == 3 ? VMLCMD_STATUS_CONNECT_REFUSED
                                       : VMLCMD_OK;
    workers[i].wrong = 0;
    expect(start_thread(&ids[i], &workers[i]), "a thread starts");
  }
  for (i = 0; i < 16; ++i) {
    join_thread(ids[i]);
    if (workers[i].wrong != 0) {
      fprintf(stderr, "thread %d: %d calls saw another status than %d\n", i, workers[i].wrong,
              workers[i].expected);
      ++failures;
    }
  }
}

int main(void) {
  const char* portText = getenv("VMLCMD_SIM_PORT");
  int port = portText != NULL ? atoi(portText) : 0;
  int closed = closed_port();
  vmlcmd_device* camera = NULL;
  vmlcmd_device* intruder = NULL;
  vmlcmd_device* nobody = NULL;
  vmlcmd_result result;
  int bitrate = 0;
  int show = 0;
  int position = 0;
  char caption[64];
  const char* gate = "\xE5\x8D\x97\xE9\x97\xA8 \xE5\x85\xA5\xE5\x8F\xA3"; /* 南门 入口 in UTF-8 */

  if (port == 0 || closed == 0) {
    fprintf(stderr, "VMLCMD_SIM_PORT not set, or no free port\n");
    return 2;
  }
  expect(vmlcmd_version() == VMLCMD_VERSION_NUMBER, "the library's version is the header's");

  expect(vmlcmd_device_open("127.0.0.1", port, "admin", "admin", &camera) == VMLCMD_OK, "open");
  expect(vmlcmd_set_video_bitrate(camera, 1536) == VMLCMD_OK, "set a bitrate");
  expect(vmlcmd_get_video_bitrate(camera, &bitrate) == VMLCMD_OK && bitrate == 1536, "read it back");
  expect(vmlcmd_set_osd_caption(camera, 1, 4, gate) == VMLCMD_OK, "set a Chinese caption");
  expect(vmlcmd_get_osd_caption(camera, &show, &position, caption, sizeof caption) == VMLCMD_OK,
         "read it back");
  expect(strcmp(caption, gate) == 0 && show == 1 && position == 4, "the same caption, shown, at position 4");
  expect(vmlcmd_set_osd_caption(camera, 1, 4, "\xF0\x9F\x98\x80") == VMLCMD_STATUS_ARGUMENT_REFUSED,
         "a character code page 936 lacks is refused");

  expect(vmlcmd_device_open("127.0.0.1", port, "admin", "wrong", &intruder) == VMLCMD_OK,
         "open with a wrong password");
  expect(vmlcmd_get_video_bitrate(intruder, &bitrate) == VMLCMD_STATUS_LOGIN_REFUSED, "login refused");
  result.size = sizeof result;
  expect(vmlcmd_last_result(intruder, &result) == VMLCMD_OK && result.reply_status == 7,
         "the login's status 7");
  expect(strcmp(vmlcmd_status_text(VMLCMD_STATUS_LOGIN_REFUSED), "login refused") == 0, "its text");

  expect(vmlcmd_device_open("127.0.0.1", closed, "admin", "admin", &nobody) == VMLCMD_OK,
         "open a closed port");
  expect(vmlcmd_ptz_stop(nobody) == VMLCMD_STATUS_CONNECT_REFUSED, "connection refused");
  result.size = sizeof result;
  expect(vmlcmd_last_result(camera, &result) == VMLCMD_OK && result.status == VMLCMD_STATUS_ARGUMENT_REFUSED,
         "the first handle still holds its own last status");
  vmlcmd_device_close(nobody);
  vmlcmd_device_close(intruder);
  vmlcmd_device_close(camera);

  threads(port, closed);
  if (failures == 0) printf("C host: all checks passed\n");
  return failures == 0 ? 0 : 1;
}
