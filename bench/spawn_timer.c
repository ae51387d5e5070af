/*
 * Runs two command lines alternately and prints the wall time of each run,
 * in microseconds, one line per pair: "<first> <second>". Used by
 * cli_startup.sh; a launcher of its own keeps the shell's fork out of the
 * times, which would add the same constant to both programs.
 *
 *   spawn_timer RUNS PROGRAM [ARGS...] -- PROGRAM [ARGS...]
 *
 * Standard output of the programs goes to /dev/null; a run that fails stops
 * the timer with status 1.
 */
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

static long long now_us(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (long long)t.tv_sec * 1000000LL + t.tv_nsec / 1000;
}

/* Microseconds for one run, or -1 when it could not run or failed. */
static long long timed_run(char** argv, const posix_spawn_file_actions_t* actions) {
  pid_t pid;
  int status;
  long long start = now_us();
  if (posix_spawn(&pid, argv[0], actions, NULL, argv, environ) != 0) {
    return -1;
  }
  if (waitpid(pid, &status, 0) != pid) {
    return -1;
  }
  long long elapsed = now_us() - start;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? elapsed : -1;
}

int main(int argc, char** argv) {
  if (argc < 5) {
    fprintf(stderr, "usage: spawn_timer RUNS PROGRAM [ARGS...] -- PROGRAM [ARGS...]\n");
    return 2;
  }
  long runs = strtol(argv[1], NULL, 10);
  char** first = argv + 2;
  char** second = NULL;
  for (int i = 2; i < argc; ++i) {
    if (strcmp(argv[i], "--") == 0) {
      argv[i] = NULL;
      second = argv + i + 1;
      break;
    }
  }
  if (runs <= 0 || second == NULL || second[0] == NULL) {
    fprintf(stderr, "spawn_timer: need a run count and two command lines\n");
    return 2;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  for (long i = 0; i < runs; ++i) {
    long long a = timed_run(first, &actions);
    long long b = timed_run(second, &actions);
    if (a < 0 || b < 0) {
      fprintf(stderr, "spawn_timer: run %ld failed\n", i + 1);
      posix_spawn_file_actions_destroy(&actions);
      return 1;
    }
    printf("%lld %lld\n", a, b);
  }
  posix_spawn_file_actions_destroy(&actions);
  return 0;
}
