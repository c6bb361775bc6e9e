/*
 * A minimal host in plain C: loads the core, runs one stub dictation and prints every event.
 *
 *   stub_dictation_host [config-dir] [text]
 *
 * It answers the core's "submit_request" as a real shell would after inserting the text, then
 * waits for the worker to return to idle and frees the core. Exit code 0 when the dictation went
 * through, 1 otherwise.
 */
#include <stdatomic.h>
#include <stdio.h>
#include <string.h>

#include "kesu_core.h"

#ifdef _WIN32
#include <windows.h>
static void sleep_ms(int ms) { Sleep((DWORD)ms); }
#else
#include <time.h>
static void sleep_ms(int ms) {
  struct timespec ts;
  ts.tv_sec = ms / 1000;
  ts.tv_nsec = (long)(ms % 1000) * 1000000L;
  nanosleep(&ts, NULL);
}
#endif

struct host {
  KesuCore *core;
  atomic_int submitted; /* 1 once the host answered a submit request */
  atomic_int done;      /* 1 once the worker is idle again after the answer */
};

/* Copies the string value of "key" out of one event line; the core writes compact JSON, so
 * the value follows "key":" directly. Task ids contain no escapes. */
static int json_string_member(const char *json, const char *key, char *out, size_t size) {
  char pattern[64];
  const char *start, *end;
  snprintf(pattern, sizeof pattern, "\"%s\":\"", key);
  start = strstr(json, pattern);
  if (start == NULL) return 0;
  start += strlen(pattern);
  end = strchr(start, '"');
  if (end == NULL || (size_t)(end - start) >= size) return 0;
  memcpy(out, start, (size_t)(end - start));
  out[end - start] = '\0';
  return 1;
}

static void on_event(const char *json, void *user) {
  struct host *h = (struct host *)user;
  char task_id[64];
  printf("%s\n", json);
  fflush(stdout);
  if (strstr(json, "\"type\":\"submit_request\"") != NULL &&
      json_string_member(json, "task_id", task_id, sizeof task_id)) {
    /* A real shell inserts the text on its own thread first; here it "succeeds" at once. */
    kesu_submit_result(h->core, task_id, "ok", NULL);
    atomic_store(&h->submitted, 1);
  } else if (atomic_load(&h->submitted) && strstr(json, "\"phase\":\"idle\"") != NULL) {
    atomic_store(&h->done, 1);
  }
}

int main(int argc, char **argv) {
  const char *dir = argc > 1 ? argv[1] : NULL;
  const char *text = argc > 2 ? argv[2] : "你好，言至。";
  struct host h;
  int waited;
  uint32_t version = kesu_abi_version();

  if (KESU_ABI_MAJOR(version) != 1) {
    fprintf(stderr, "unsupported core interface version 0x%08x\n", (unsigned)version);
    return 1;
  }
  h.core = kesu_core_new(dir);
  atomic_init(&h.submitted, 0);
  atomic_init(&h.done, 0);
  if (h.core == NULL) {
    fprintf(stderr, "kesu_core_new failed\n");
    return 1;
  }
  kesu_set_event_cb(h.core, on_event, &h);
  kesu_set_test_mode(h.core, 1);
  kesu_note_foreground_app(h.core, "stub_dictation_host");
  kesu_debug_submit_text(h.core, text);

  for (waited = 0; waited < 5000 && !atomic_load(&h.done); waited += 10) sleep_ms(10);
  kesu_core_free(h.core);
  if (!atomic_load(&h.done)) {
    fprintf(stderr, "the stub dictation did not finish within 5 s\n");
    return 1;
  }
  return 0;
}
