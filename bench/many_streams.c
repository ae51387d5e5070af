/*
 * One libpulse client with many playback streams, each under its own
 * application.name, for the panel's tests and benches: the sound server
 * takes at most 64 clients, but a client may hold many streams.
 *
 *   many_streams COUNT [PREFIX]
 *       Opens COUNT streams named "PREFIX 1" .. "PREFIX COUNT" (PREFIX is
 *       "Player" by default), prints "ready" once the server has them all,
 *       and holds them until it is stopped, or until its standard input
 *       closes when that is a pipe.
 *
 * The streams are corked: they are there as apps without the server mixing
 * anything for them.
 */
#include <poll.h>
#include <pulse/pulseaudio.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int ready_streams = 0;
static int failed = 0;

static void on_stream_state(pa_stream* stream, void* userdata) {
  (void)userdata;
  switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
      ++ready_streams;
      break;
    case PA_STREAM_FAILED:
      failed = 1;
      break;
    default:
      break;
  }
}

static pa_stream* open_stream(pa_context* context, const char* prefix, int number) {
  const size_t size = strlen(prefix) + 16;
  char* name = malloc(size);
  if (name == NULL) {
    return NULL;
  }
  snprintf(name, size, "%s %d", prefix, number);
  pa_proplist* properties = pa_proplist_new();
  pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, name);
  pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, name);
  const pa_sample_spec spec = {PA_SAMPLE_S16LE, 8000, 1};
  pa_stream* stream = pa_stream_new_with_proplist(context, "many_streams", &spec, NULL, properties);
  pa_proplist_free(properties);
  free(name);
  if (stream == NULL) {
    return NULL;
  }
  pa_stream_set_state_callback(stream, on_stream_state, NULL);
  if (pa_stream_connect_playback(stream, NULL, NULL, PA_STREAM_START_CORKED, NULL, NULL) < 0) {
    pa_stream_unref(stream);
    return NULL;
  }
  return stream;
}

static int wait_for_context(pa_mainloop* loop, pa_context* context) {
  for (;;) {
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) {
      return 0;
    }
    if (!PA_CONTEXT_IS_GOOD(state) || pa_mainloop_iterate(loop, 1, NULL) < 0) {
      return -1;
    }
  }
}

static int stdin_is_pipe(void) {
  struct stat status;
  return fstat(STDIN_FILENO, &status) == 0 &&
         (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode));
}

// Runs the loop until standard input closes (or the server goes).
static void hold(pa_mainloop* loop, pa_context* context) {
  const int watch = stdin_is_pipe();
  for (;;) {
    struct pollfd in = {STDIN_FILENO, POLLIN, 0};
    if (watch && poll(&in, 1, 0) > 0) {
      char buffer[64];
      if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
        return;
      }
    }
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) ||
        pa_mainloop_iterate(loop, 0, NULL) < 0) {
      return;
    }
    struct pollfd again = {watch ? STDIN_FILENO : -1, POLLIN, 0};
    (void)poll(&again, 1, 100);
  }
}

int main(int argc, char** argv) {
  if (argc < 2 || atoi(argv[1]) <= 0) {
    fprintf(stderr, "usage: many_streams COUNT [PREFIX]\n");
    return 2;
  }
  const int count = atoi(argv[1]);
  const char* prefix = argc > 2 ? argv[2] : "Player";
  pa_mainloop* loop = pa_mainloop_new();
  pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "many_streams");
  if (context == NULL || pa_context_connect(context, NULL, PA_CONTEXT_NOFLAGS, NULL) < 0 ||
      wait_for_context(loop, context) < 0) {
    fprintf(stderr, "many_streams: no sound server\n");
    return 1;
  }
  pa_stream** streams = calloc((size_t)count, sizeof *streams);
  if (streams == NULL) {
    return 1;
  }
  for (int i = 0; i < count; ++i) {
    streams[i] = open_stream(context, prefix, i + 1);
    if (streams[i] == NULL) {
      fprintf(stderr, "many_streams: stream %d: %s\n", i + 1,
              pa_strerror(pa_context_errno(context)));
      return 1;
    }
  }
  while (ready_streams < count && !failed) {
    if (pa_mainloop_iterate(loop, 1, NULL) < 0) {
      failed = 1;
    }
  }
  if (failed) {
    fprintf(stderr, "many_streams: the server refused a stream\n");
    return 1;
  }
  if (printf("ready\n") < 0 || fflush(stdout) != 0) {
    return 1;
  }
  hold(loop, context);
  for (int i = 0; i < count; ++i) {
    pa_stream_disconnect(streams[i]);
    pa_stream_unref(streams[i]);
  }
  free(streams);
  pa_context_disconnect(context);
  pa_context_unref(context);
  pa_mainloop_free(loop);
  return 0;
}
