/*
 * How soon kestruned's device policy acts, seen by a libpulse client of its
 * own (one connection, so no process start-up is counted):
 *
 *   device_policy_probe ROUNDS
 *       ROUNDS times: loads a null sink "usbdac" and measures until the
 *       server shows it as the default with every playback stream on it;
 *       unloads it and measures until "speakers" is the default with every
 *       stream on it again. Then ROUNDS times sets "speakers" to 120 % and
 *       measures until it reads 80 %. Prints the median and the 99th
 *       percentile of each, in ms, from the request to the state seen.
 *
 * Times are CLOCK_MONOTONIC; the state is read again after every event of
 * the server's subscription.
 */
#define _GNU_SOURCE
#include <pulse/pulseaudio.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static pa_threaded_mainloop* loop;
static pa_context* context;
static unsigned long events;

struct query {
  int done;
  char name[256];
  uint32_t index;
  double volume;
  int streams;
  int elsewhere;
  uint32_t target;
};

static double now_ms(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec * 1e3 + (double)t.tv_nsec / 1e6;
}

static void fail(const char* what) {
  fprintf(stderr, "device_policy_probe: %s: %s\n", what, pa_strerror(pa_context_errno(context)));
  exit(1);
}

static void wait_for(pa_operation* operation, struct query* query) {
  if (operation == NULL) {
    fail("request");
  }
  while (!query->done) {
    pa_threaded_mainloop_wait(loop);
  }
  pa_operation_unref(operation);
}

static void on_state(pa_context* c, void* userdata) {
  (void)c;
  (void)userdata;
  pa_threaded_mainloop_signal(loop, 0);
}

static void on_event(pa_context* c, pa_subscription_event_type_t type, uint32_t index,
                     void* userdata) {
  (void)c;
  (void)type;
  (void)index;
  (void)userdata;
  ++events;
  pa_threaded_mainloop_signal(loop, 0);
}

static void on_server(pa_context* c, const pa_server_info* info, void* userdata) {
  (void)c;
  struct query* query = userdata;
  snprintf(query->name, sizeof query->name, "%s",
           info != NULL && info->default_sink_name != NULL ? info->default_sink_name : "");
  query->done = 1;
  pa_threaded_mainloop_signal(loop, 0);
}

static void on_sink(pa_context* c, const pa_sink_info* info, int eol, void* userdata) {
  (void)c;
  struct query* query = userdata;
  if (eol == 0 && info != NULL) {
    query->index = info->index;
    query->volume = (double)pa_cvolume_avg(&info->volume) * 100.0 / PA_VOLUME_NORM;
    return;
  }
  query->done = 1;
  pa_threaded_mainloop_signal(loop, 0);
}

static void on_stream(pa_context* c, const pa_sink_input_info* info, int eol, void* userdata) {
  (void)c;
  struct query* query = userdata;
  if (eol == 0 && info != NULL) {
    ++query->streams;
    query->elsewhere += info->sink != query->target;
    return;
  }
  query->done = 1;
  pa_threaded_mainloop_signal(loop, 0);
}

static void on_index(pa_context* c, uint32_t index, void* userdata) {
  (void)c;
  struct query* query = userdata;
  query->index = index;
  query->done = 1;
  pa_threaded_mainloop_signal(loop, 0);
}

static void on_success(pa_context* c, int success, void* userdata) {
  (void)c;
  (void)success;
  struct query* query = userdata;
  query->done = 1;
  pa_threaded_mainloop_signal(loop, 0);
}

/* The sink by name: its index (PA_INVALID_INDEX when absent) and volume. */
static struct query sink_named(const char* name) {
  struct query query = {0};
  query.index = PA_INVALID_INDEX;
  wait_for(pa_context_get_sink_info_by_name(context, name, on_sink, &query), &query);
  return query;
}

/* Whether `name` is the default with every stream on it. */
static int settled_on(const char* name) {
  struct query server = {0};
  wait_for(pa_context_get_server_info(context, on_server, &server), &server);
  if (strcmp(server.name, name) != 0) {
    return 0;
  }
  const struct query sink = sink_named(name);
  if (sink.index == PA_INVALID_INDEX) {
    return 0;
  }
  struct query streams = {0};
  streams.target = sink.index;
  wait_for(pa_context_get_sink_input_info_list(context, on_stream, &streams), &streams);
  return streams.streams > 0 && streams.elsewhere == 0;
}

static int at_volume(const char* name, double percent) {
  const struct query sink = sink_named(name);
  return sink.index != PA_INVALID_INDEX && sink.volume > percent - 0.5 &&
         sink.volume < percent + 0.5;
}

/* Waits, reading the state again after each event, until `holds` does. */
static void until(int (*holds)(const char*), const char* name) {
  for (;;) {
    const unsigned long seen = events;
    if (holds(name)) {
      return;
    }
    while (events == seen) {
      pa_threaded_mainloop_wait(loop);
    }
  }
}

static int at_cap(const char* name) {
  return at_volume(name, 80);
}

static int by_value(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

static void report(const char* label, double* times, int count) {
  qsort(times, (size_t)count, sizeof *times, by_value);
  int p99 = (int)(count * 0.99 + 0.999);
  if (p99 > count) {
    p99 = count;
  }
  printf("  %-34s median %7.1f ms   p99 %7.1f ms   (%d runs)\n", label, times[(count + 1) / 2 - 1],
         times[p99 - 1], count);
}

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? atoi(argv[1]) : 50;
  if (rounds < 1) {
    return 2;
  }
  double* plug = calloc((size_t)rounds, sizeof *plug);
  double* unplug = calloc((size_t)rounds, sizeof *unplug);
  double* cap = calloc((size_t)rounds, sizeof *cap);
  loop = pa_threaded_mainloop_new();
  context = pa_context_new(pa_threaded_mainloop_get_api(loop), "device_policy_probe");
  pa_context_set_state_callback(context, on_state, NULL);
  pa_context_set_subscribe_callback(context, on_event, NULL);
  pa_threaded_mainloop_lock(loop);
  if (pa_threaded_mainloop_start(loop) < 0 ||
      pa_context_connect(context, NULL, PA_CONTEXT_NOAUTOSPAWN, NULL) < 0) {
    fail("connect");
  }
  while (pa_context_get_state(context) != PA_CONTEXT_READY) {
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
      fail("connect");
    }
    pa_threaded_mainloop_wait(loop);
  }
  struct query subscribed = {0};
  wait_for(pa_context_subscribe(context,
                                PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SINK_INPUT |
                                    PA_SUBSCRIPTION_MASK_SERVER,
                                on_success, &subscribed),
           &subscribed);
  until(settled_on, "speakers");

  for (int i = 0; i < rounds; ++i) {
    struct query loaded = {0};
    double start = now_ms();
    wait_for(
        pa_context_load_module(context, "module-null-sink", "sink_name=usbdac", on_index, &loaded),
        &loaded);
    until(settled_on, "usbdac");
    plug[i] = now_ms() - start;
    struct query unloaded = {0};
    start = now_ms();
    wait_for(pa_context_unload_module(context, loaded.index, on_success, &unloaded), &unloaded);
    until(settled_on, "speakers");
    unplug[i] = now_ms() - start;
  }
  for (int i = 0; i < rounds; ++i) {
    pa_cvolume volume;
    pa_cvolume_set(&volume, 2, (pa_volume_t)(PA_VOLUME_NORM * 1.2));
    struct query set = {0};
    const double start = now_ms();
    wait_for(pa_context_set_sink_volume_by_name(context, "speakers", &volume, on_success, &set),
             &set);
    until(at_cap, "speakers");
    cap[i] = now_ms() - start;
  }
  pa_threaded_mainloop_unlock(loop);
  report("plugged in -> default and stream", plug, rounds);
  report("unplugged -> back on speakers", unplug, rounds);
  report("above the cap -> back at 80%", cap, rounds);
  pa_threaded_mainloop_stop(loop);
  pa_context_disconnect(context);
  pa_context_unref(context);
  pa_threaded_mainloop_free(loop);
  free(plug);
  free(unplug);
  free(cap);
  return 0;
}
