/*
 * The exchange of `kestrune volume get` in plain C and POSIX, as a baseline
 * for the command-line tool's whole-process cost: connect to the socket,
 * write the framed {"getVolume":{}}, read the framed reply and print it.
 *
 *   c_client [SOCKET]    (default: $XDG_DATA_HOME or ~/.local/share, then
 *                         /Kestrune/cli.sock; /tmp/kestrune_cli.sock without a home)
 */
#include <errno.h>
#include <pwd.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#define MAX_MESSAGE 1048576u

static int fail(const char* what) {
  fprintf(stderr, "c_client: %s: %s\n", what, strerror(errno));
  return 1;
}

static void default_path(char* out, size_t size) {
  const char* data = getenv("XDG_DATA_HOME");
  if (data != NULL && data[0] == '/') {
    snprintf(out, size, "%s/Kestrune/cli.sock", data);
    return;
  }
  const struct passwd* user = getpwuid(getuid());
  if (user != NULL && user->pw_dir != NULL && user->pw_dir[0] != '\0') {
    snprintf(out, size, "%s/.local/share/Kestrune/cli.sock", user->pw_dir);
    return;
  }
  snprintf(out, size, "/tmp/kestrune_cli.sock");
}

static int write_all(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return -1;
    }
    data += n;
    size -= (size_t)n;
  }
  return 0;
}

/* 0 on success, -1 on a read error, 1 when the peer closed early. */
static int read_exactly(int fd, unsigned char* data, size_t size) {
  while (size > 0) {
    ssize_t n = read(fd, data, size);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return -1;
    }
    if (n == 0) {
      return 1;
    }
    data += n;
    size -= (size_t)n;
  }
  return 0;
}

int main(int argc, char** argv) {
  static const char request[] = "{\"getVolume\":{}}";
  const size_t length = sizeof request - 1;
  char path[4096];
  if (argc > 1) {
    snprintf(path, sizeof path, "%s", argv[1]);
  } else {
    default_path(path, sizeof path);
  }

  struct sockaddr_un address;
  memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (strlen(path) >= sizeof address.sun_path) {
    fprintf(stderr, "c_client: socket path is too long\n");
    return 1;
  }
  strcpy(address.sun_path, path);

  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) {
    return fail("socket");
  }
  struct timeval limit = {10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  if (connect(fd, (const struct sockaddr*)&address, sizeof address) != 0) {
    int rc = fail("connect");
    close(fd);
    return rc;
  }

  unsigned char frame[4 + sizeof request];
  frame[0] = (unsigned char)(length >> 24);
  frame[1] = (unsigned char)(length >> 16);
  frame[2] = (unsigned char)(length >> 8);
  frame[3] = (unsigned char)length;
  memcpy(frame + 4, request, length);
  if (write_all(fd, frame, 4 + length) != 0) {
    int rc = fail("write");
    close(fd);
    return rc;
  }

  unsigned char header[4];
  if (read_exactly(fd, header, 4) != 0) {
    close(fd);
    fprintf(stderr, "c_client: no reply\n");
    return 1;
  }
  uint32_t size = ((uint32_t)header[0] << 24) | ((uint32_t)header[1] << 16) |
                  ((uint32_t)header[2] << 8) | (uint32_t)header[3];
  if (size > MAX_MESSAGE) {
    close(fd);
    fprintf(stderr, "c_client: reply too large: %u bytes\n", size);
    return 1;
  }
  unsigned char* body = malloc(size + 1);
  if (body == NULL || read_exactly(fd, body, size) != 0) {
    free(body);
    close(fd);
    fprintf(stderr, "c_client: reply cut short\n");
    return 1;
  }
  close(fd);
  body[size] = '\0';
  int printed = printf("%s\n", (const char*)body);
  free(body);
  return printed < 0 ? 1 : 0;
}
