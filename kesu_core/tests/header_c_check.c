/* Compiled as strict C99 in every build: the public header must stay valid C. */
#include "kesu_core.h"

#include <stddef.h>

static void on_event(const char *json, void *user) {
  (void)json;
  (void)user;
}

/* Takes the address of every export so a declaration that does not match its use fails here. */
void kesu_header_c_check(void);
void kesu_header_c_check(void) {
  kesu_event_cb cb = on_event;
  uint32_t (*version)(void) = kesu_abi_version;
  KesuCore *(*create)(const char *) = kesu_core_new;
  int (*submit)(KesuCore *, const char *, const char *, const char *) = kesu_submit_result;
  char *(*rewrite)(KesuCore *, const char *, const char *, char **) = kesu_run_command;
  int (*upload)(KesuCore *, const char *, const char *, char **) = kesu_upload_diag;
  (void)cb;
  (void)version;
  (void)create;
  (void)submit;
  (void)rewrite;
  (void)upload;
  (void)KESU_ABI_MAJOR(KESU_ABI_VERSION);
}
