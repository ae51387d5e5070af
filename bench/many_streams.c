/* Many apps from one process: N playback streams of silence, stream i
 * named as application "App<i>", on one connection (PulseAudio takes at
 * most 64 clients, so an app per process stops short of a hundred). Runs
 * until killed; prints "ready" once every stream plays.
 *
 *   cc -O2 -o many_streams bench/many_streams.c $(pkg-config --cflags --libs libpulse)
 *   ./many_streams 120
 */
#include <pulse/pulseaudio.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int wanted;
static int playing;

static void on_write(pa_stream *stream, size_t bytes, void *userdata) {
  (void)userdata;
  void *data = NULL;
  if (pa_stream_begin_write(stream, &data, &bytes) < 0 || data == NULL) {
    return;
  }
  memset(data, 0, bytes);
  if (pa_stream_write(stream, data, bytes, NULL, 0, PA_SEEK_RELATIVE) < 0) {
    fprintf(stderr, "write failed\n");
  }
}

static void on_stream_state(pa_stream *stream, void *userdata) {
  (void)userdata;
  switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
      if (++playing == wanted) {
        printf("ready\n");
        fflush(stdout);
      }
      break;
    case PA_STREAM_FAILED:
      fprintf(stderr, "a stream failed\n");
      exit(1);
    default:
      break;
  }
}

static void start_streams(pa_context *context) {
  const pa_sample_spec spec = {PA_SAMPLE_S16LE, 44100, 2};
  for (int i = 1; i <= wanted; ++i) {
    char name[32];
    snprintf(name, sizeof name, "App%d", i);
    pa_proplist *properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, name);
    pa_stream *stream = pa_stream_new_with_proplist(context, "silence", &spec, NULL, properties);
    pa_proplist_free(properties);
    if (stream == NULL) {
      fprintf(stderr, "no stream: %s\n", pa_strerror(pa_context_errno(context)));
      exit(1);
    }
    pa_stream_set_state_callback(stream, on_stream_state, NULL);
    pa_stream_set_write_callback(stream, on_write, NULL);
    if (pa_stream_connect_playback(stream, NULL, NULL, 0, NULL, NULL) < 0) {
      fprintf(stderr, "cannot play: %s\n", pa_strerror(pa_context_errno(context)));
      exit(1);
    }
  }
}

static void on_context_state(pa_context *context, void *userdata) {
  (void)userdata;
  switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
      start_streams(context);
      break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
      fprintf(stderr, "connection: %s\n", pa_strerror(pa_context_errno(context)));
      exit(1);
    default:
      break;
  }
}

int main(int argc, char **argv) {
  wanted = argc > 1 ? atoi(argv[1]) : 100;
  pa_mainloop *mainloop = pa_mainloop_new();
  pa_context *context = pa_context_new(pa_mainloop_get_api(mainloop), "many streams");
  pa_context_set_state_callback(context, on_context_state, NULL);
  if (pa_context_connect(context, NULL, PA_CONTEXT_NOAUTOSPAWN, NULL) < 0) {
    fprintf(stderr, "cannot connect: %s\n", pa_strerror(pa_context_errno(context)));
    return 1;
  }
  int result = 0;
  pa_mainloop_run(mainloop, &result);
  return result;
}
