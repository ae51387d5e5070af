/*
 * How soon a change made by a libpulse client reaches a follower of the feed,
 * beside what a shell loop over `pactl subscribe` gets.
 *
 *   kestrune-watch --socket S | feed_latency follow [ROUNDS] [GAP_MS] [BURST]
 *       Sets the "speakers" sink's volume ROUNDS times (default 200), GAP_MS
 *       apart (default 100), and for each one measures from the sound server's
 *       acknowledgement (the success callback) to
 *         - the `device` line with that volume read from standard input, and
 *         - the return of the `pactl get-sink-volume speakers` that a
 *           "change on sink" line of a `pactl subscribe` it runs set off,
 *           when that query shows the new volume.
 *       Then sets BURST changes (default 60) within one second and counts the
 *       lines standard input gets for them.
 *   feed_latency flow COUNT GAP_MS
 *       Sets COUNT changes, GAP_MS apart, and nothing else.
 *
 * Times are CLOCK_MONOTONIC. Volumes cycle through 20..99 %, never the same
 * twice in a row, so that each round waits for a value of its own.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <pulse/pulseaudio.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

static const char* const sink_name = "speakers";

static double now_ms(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec * 1e3 + (double)t.tv_nsec / 1e6;
}

static void sleep_until(double when_ms) {
  const double left = when_ms - now_ms();
  if (left <= 0) {
    return;
  }
  struct timespec t = {(time_t)(left / 1e3),
                       (long)((left - (double)(time_t)(left / 1e3) * 1e3) * 1e6)};
  while (nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

static void die(const char* what) {
  fprintf(stderr, "feed_latency: %s\n", what);
  exit(1);
}

/* The round in progress, shared by the readers and the main thread. */
static struct {
  pthread_mutex_t lock;
  pthread_cond_t changed;
  int target;        /* the volume the round waits for, -1 between rounds */
  double issued;     /* when the change was sent */
  double watch_seen; /* when the feed's line showed it, 0 until then */
  double pactl_seen; /* when a forced query showed it, 0 until then */
  int watch_lines;   /* lines read since the snapshot */
  int device_lines;  /* `device` lines of the sink */
  int status_lines;
  int last_volume; /* of the last `device` line of the sink */
  int quiet_pactl; /* while set, subscribe lines run no query */
} round_state = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, -1, 0, 0, 0, 0, 0, 0, -1, 0};

/* ---- libpulse ------------------------------------------------------------ */

static pa_threaded_mainloop* loop;
static pa_context* context;
static int channels;
static double acked;

static void on_state(pa_context* c, void* unused) {
  (void)c;
  (void)unused;
  pa_threaded_mainloop_signal(loop, 0);
}

static void on_sink(pa_context* c, const pa_sink_info* info, int eol, void* unused) {
  (void)c;
  (void)unused;
  if (eol == 0 && info != NULL) {
    channels = info->channel_map.channels;
  }
  pa_threaded_mainloop_signal(loop, 0);
}

static void on_ack(pa_context* c, int success, void* unused) {
  (void)c;
  (void)unused;
  acked = success ? now_ms() : -1;
  pa_threaded_mainloop_signal(loop, 0);
}

static void wait_for(pa_operation* operation) {
  if (operation == NULL) {
    die("the sound server refused an operation");
  }
  while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
    pa_threaded_mainloop_wait(loop);
  }
  pa_operation_unref(operation);
}

static void connect_pulse(void) {
  loop = pa_threaded_mainloop_new();
  context = pa_context_new(pa_threaded_mainloop_get_api(loop), "feed_latency");
  pa_context_set_state_callback(context, on_state, NULL);
  if (pa_context_connect(context, NULL, PA_CONTEXT_NOAUTOSPAWN, NULL) < 0 ||
      pa_threaded_mainloop_start(loop) < 0) {
    die("cannot connect to the sound server");
  }
  pa_threaded_mainloop_lock(loop);
  for (;;) {
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) {
      break;
    }
    if (!PA_CONTEXT_IS_GOOD(state)) {
      die("the sound server connection failed");
    }
    pa_threaded_mainloop_wait(loop);
  }
  wait_for(pa_context_get_sink_info_by_name(context, sink_name, on_sink, NULL));
  pa_threaded_mainloop_unlock(loop);
  if (channels == 0) {
    die("no sink named speakers");
  }
}

/* Sets the sink's volume and returns the time of its acknowledgement. */
static double set_volume(int percent) {
  pa_cvolume volume;
  pa_cvolume_set(&volume, (unsigned)channels,
                 (pa_volume_t)((PA_VOLUME_NORM * (unsigned)percent + 50) / 100));
  pa_threaded_mainloop_lock(loop);
  acked = 0;
  wait_for(pa_context_set_sink_volume_by_name(context, sink_name, &volume, on_ack, NULL));
  const double when = acked;
  pa_threaded_mainloop_unlock(loop);
  if (when < 0) {
    die("the sound server did not set the volume");
  }
  return when;
}

static int volume_of_round(int round) {
  return 20 + (round * 37) % 80;
}

/* ---- readers ------------------------------------------------------------- */

/* Calls `line` for each line of `fd`, with the time it was read, until EOF. */
static void read_lines(int fd, void (*line)(const char*, double)) {
  char buffer[1 << 16];
  size_t used = 0;
  for (;;) {
    const ssize_t got = read(fd, buffer + used, sizeof buffer - 1 - used);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return;
    }
    const double when = now_ms();
    used += (size_t)got;
    buffer[used] = '\0';
    char* start = buffer;
    char* end;
    while ((end = strchr(start, '\n')) != NULL) {
      *end = '\0';
      line(start, when);
      start = end + 1;
    }
    used -= (size_t)(start - buffer);
    memmove(buffer, start, used);
    if (used == sizeof buffer - 1) {
      used = 0; /* a line longer than the buffer is not one we look for */
    }
  }
}

static int device_volume(const char* line) {
  if (strstr(line, "\"event\":\"device\"") == NULL ||
      strstr(line, "\"uid\":\"speakers\"") == NULL) {
    return -1;
  }
  const char* volume = strstr(line, "\"volume\":");
  return volume == NULL ? -1 : atoi(volume + strlen("\"volume\":"));
}

static void on_watch_line(const char* line, double when) {
  pthread_mutex_lock(&round_state.lock);
  if (strstr(line, "\"event\":\"snapshot\"") != NULL) {
    round_state.watch_lines = 0;
  } else {
    ++round_state.watch_lines;
  }
  if (strstr(line, "\"event\":\"status\"") != NULL) {
    ++round_state.status_lines;
  }
  const int volume = device_volume(line);
  if (volume >= 0) {
    ++round_state.device_lines;
    round_state.last_volume = volume;
    if (volume == round_state.target && round_state.watch_seen == 0) {
      round_state.watch_seen = when;
    }
  }
  pthread_cond_broadcast(&round_state.changed);
  pthread_mutex_unlock(&round_state.lock);
}

static void* watch_reader(void* unused) {
  (void)unused;
  read_lines(0, on_watch_line);
  return NULL;
}

static pid_t spawn_reading(char* const argv[], int* out) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) {
    die("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[1]);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  /* pactl's note on the signal that ends it is not part of the table. */
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  const int failed = posix_spawnp(&pid, argv[0], &actions, NULL, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (failed != 0) {
    die("cannot start pactl");
  }
  *out = pipe_fds[0];
  return pid;
}

/* `pactl get-sink-volume speakers`, as a shell loop runs it: its first percentage. */
static int query_volume(void) {
  char* argv[] = {"pactl", "get-sink-volume", (char*)sink_name, NULL};
  int out;
  const pid_t pid = spawn_reading(argv, &out);
  char text[4096];
  size_t used = 0;
  ssize_t got;
  while ((got = read(out, text + used, sizeof text - 1 - used)) > 0) {
    used += (size_t)got;
  }
  close(out);
  text[used] = '\0';
  int status;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  const char* percent = strchr(text, '%');
  if (percent == NULL) {
    return -1;
  }
  const char* digits = percent;
  while (digits > text && digits[-1] >= '0' && digits[-1] <= '9') {
    --digits;
  }
  return atoi(digits);
}

static pid_t subscribe_pid = -1;

static void on_subscribe_line(const char* line, double when) {
  (void)when;
  pthread_mutex_lock(&round_state.lock);
  const int quiet = round_state.quiet_pactl;
  pthread_mutex_unlock(&round_state.lock);
  if (quiet || strstr(line, "Event 'change' on sink #") == NULL) {
    return;
  }
  const double started = now_ms();
  const int volume = query_volume();
  const double returned = now_ms();
  pthread_mutex_lock(&round_state.lock);
  /* Only a query started after the change counts: it is the one the event forced. */
  if (volume == round_state.target && round_state.pactl_seen == 0 &&
      started >= round_state.issued) {
    round_state.pactl_seen = returned;
  }
  pthread_cond_broadcast(&round_state.changed);
  pthread_mutex_unlock(&round_state.lock);
}

static void* subscribe_reader(void* unused) {
  (void)unused;
  char* argv[] = {"pactl", "subscribe", NULL};
  int out;
  subscribe_pid = spawn_reading(argv, &out);
  read_lines(out, on_subscribe_line);
  return NULL;
}

/* ---- measurements -------------------------------------------------------- */

static int compare_doubles(const void* a, const void* b) {
  const double x = *(const double*)a;
  const double y = *(const double*)b;
  return (x > y) - (x < y);
}

static void print_row(const char* label, double* values, int count, int rounds) {
  if (count == 0) {
    printf("  %-52s no sample of %d\n", label, rounds);
    return;
  }
  qsort(values, (size_t)count, sizeof *values, compare_doubles);
  const int p99 = (count * 99 + 99) / 100 - 1;
  printf("  %-52s median %7.2f ms   p99 %7.2f ms   max %7.2f ms   (%d of %d)\n", label,
         values[(count - 1) / 2], values[p99], values[count - 1], count, rounds);
}

/* Starts a round waiting for `target`; returns when it began. */
static double begin_round(int target) {
  pthread_mutex_lock(&round_state.lock);
  round_state.target = target;
  round_state.watch_seen = 0;
  round_state.pactl_seen = 0;
  round_state.issued = now_ms();
  const double issued = round_state.issued;
  pthread_mutex_unlock(&round_state.lock);
  return issued;
}

/* Waits up to `limit_ms` for both readers to see the round's value. */
static void await_round(double limit_ms, double* watch_seen, double* pactl_seen) {
  const double deadline = now_ms() + limit_ms;
  pthread_mutex_lock(&round_state.lock);
  while ((round_state.watch_seen == 0 || round_state.pactl_seen == 0) && now_ms() < deadline) {
    struct timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_nsec += 5 * 1000000L;
    until.tv_sec += until.tv_nsec / 1000000000L;
    until.tv_nsec %= 1000000000L;
    pthread_cond_timedwait(&round_state.changed, &round_state.lock, &until);
  }
  *watch_seen = round_state.watch_seen;
  *pactl_seen = round_state.pactl_seen;
  round_state.target = -1;
  pthread_mutex_unlock(&round_state.lock);
}

static void follow(int rounds, double gap_ms, int burst) {
  pthread_t watch_thread;
  pthread_t subscribe_thread;
  pthread_create(&watch_thread, NULL, watch_reader, NULL);
  pthread_create(&subscribe_thread, NULL, subscribe_reader, NULL);
  /* Unmeasured changes until both followers see one: they are then listening. */
  double watch_seen = 0;
  double pactl_seen = 0;
  for (int attempt = 0; attempt < 50 && (watch_seen == 0 || pactl_seen == 0); ++attempt) {
    (void)begin_round(10 + attempt % 2);
    (void)set_volume(10 + attempt % 2);
    await_round(200, &watch_seen, &pactl_seen);
  }
  if (watch_seen == 0 || pactl_seen == 0) {
    die("the followers did not see a change");
  }
  sleep_until(now_ms() + gap_ms);

  double* feed = calloc((size_t)rounds, sizeof *feed);
  double* shell = calloc((size_t)rounds, sizeof *shell);
  if (feed == NULL || shell == NULL) {
    die("out of memory");
  }
  int feed_count = 0;
  int shell_count = 0;
  for (int round = 0; round < rounds; ++round) {
    const int target = volume_of_round(round);
    const double issued = begin_round(target);
    const double ack = set_volume(target);
    await_round(1000, &watch_seen, &pactl_seen);
    if (watch_seen > 0) {
      feed[feed_count++] = watch_seen - ack;
    }
    if (pactl_seen > 0) {
      shell[shell_count++] = pactl_seen - ack;
    }
    sleep_until(issued + gap_ms);
  }
  printf("latency from the sound server's acknowledgement, %d changes %.0f ms apart:\n", rounds,
         gap_ms);
  print_row("kestrune-watch prints the device line", feed, feed_count, rounds);
  print_row("pactl subscribe, then pactl get-sink-volume returns", shell, shell_count, rounds);
  free(feed);
  free(shell);

  pthread_mutex_lock(&round_state.lock);
  round_state.quiet_pactl = 1;
  pthread_mutex_unlock(&round_state.lock);
  sleep_until(now_ms() + 300);
  pthread_mutex_lock(&round_state.lock);
  const int lines_before = round_state.watch_lines;
  const int devices_before = round_state.device_lines;
  const int statuses_before = round_state.status_lines;
  pthread_mutex_unlock(&round_state.lock);
  const double start = now_ms();
  int final_volume = -1;
  for (int i = 0; i < burst; ++i) {
    sleep_until(start + 1000.0 * i / burst);
    final_volume = volume_of_round(i);
    (void)set_volume(final_volume);
  }
  const double burst_ms = now_ms() - start;
  sleep_until(now_ms() + 500);
  pthread_mutex_lock(&round_state.lock);
  printf(
      "burst of %d changes in %.0f ms: kestrune-watch printed %d lines: %d device lines of the "
      "sink, %d status lines; last device volume %d (final %d)\n",
      burst, burst_ms, round_state.watch_lines - lines_before,
      round_state.device_lines - devices_before, round_state.status_lines - statuses_before,
      round_state.last_volume, final_volume);
  pthread_mutex_unlock(&round_state.lock);
  fflush(stdout);
}

static void flow(int count, double gap_ms) {
  const double start = now_ms();
  for (int i = 0; i < count; ++i) {
    sleep_until(start + gap_ms * i);
    (void)set_volume(volume_of_round(i));
  }
}

int main(int argc, char** argv) {
  if (argc < 2) {
    die("usage: feed_latency follow [ROUNDS] [GAP_MS] [BURST] | flow COUNT GAP_MS");
  }
  connect_pulse();
  if (strcmp(argv[1], "follow") == 0) {
    follow(argc > 2 ? atoi(argv[2]) : 200, argc > 3 ? atof(argv[3]) : 100,
           argc > 4 ? atoi(argv[4]) : 60);
  } else if (strcmp(argv[1], "flow") == 0 && argc == 4) {
    flow(atoi(argv[2]), atof(argv[3]));
  } else {
    die("usage: feed_latency follow [ROUNDS] [GAP_MS] [BURST] | flow COUNT GAP_MS");
  }
  if (subscribe_pid > 0) {
    kill(subscribe_pid, SIGTERM);
    waitpid(subscribe_pid, NULL, 0);
  }
  /* The readers block on pipes that stay open; leave without joining them. */
  _exit(0);
}
