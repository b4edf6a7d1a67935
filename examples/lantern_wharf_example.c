/* What a desktop application does with the lantern-wharf client's core,
 * through its C interface: it reads the sets now in /etc/hosts and prints
 * them, prints the file that applying the sets file SETS.json would write
 * and the notes on its entries that lines outside the block answer, then
 * asks the helper to apply it and prints the helper's response. Given the
 * name of a set as well, it then reads the sets back, switches that set
 * off, prints the diff of the change and applies it.
 *
 *   usage: lantern_wharf_example SETS.json [SET]
 *
 * Exits with the status of the apply (0 done or unchanged, 1 issues, 3 the
 * helper refused to serve this program, 4 it cannot be reached), or of the
 * step that failed before it, with the library's sentence on standard error.
 * Built against an installed library:
 *   cc lantern_wharf_example.c $(pkg-config --cflags --libs lantern-wharf-client)
 */
#include <lantern_wharf.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The whole file at `path`, NUL-terminated, or NULL after saying why. */
static char *read_whole(const char *path) {
  FILE *file = fopen(path, "rb");
  if (file == NULL) {
    perror(path);
    return NULL;
  }
  size_t size = 0;
  size_t room = 4096;
  char *text = malloc(room);
  while (text != NULL) {
    size += fread(text + size, 1, room - size - 1, file);
    if (size < room - 1) break;
    room *= 2;
    char *bigger = realloc(text, room);
    if (bigger == NULL) free(text);
    text = bigger;
  }
  int failed = text == NULL || ferror(file);
  fclose(file);
  if (failed) {
    fprintf(stderr, "%s: cannot be read\n", path);
    free(text);
    return NULL;
  }
  text[size] = '\0';
  return text;
}

static int say_failure(const char *step, int status) {
  fprintf(stderr, "lantern_wharf_example: %s: %s\n", step, lw_last_error());
  return status;
}

/* Switches the set `name` off in the sets the file holds now: the change is
 * made on the sets, shown as a diff of the file, and applied. */
static int switch_off(const char *name) {
  char *current = NULL;
  int status = lw_read_sets(&current);
  if (status != LW_OK) return say_failure("reading the sets back", status);
  char *changed = NULL;
  status = lw_switch(current, name, NULL, 0, 0, &changed);
  lw_free(current);
  if (status != LW_OK) return say_failure("switching the set off", status);
  char *diff = NULL;
  char *issues = NULL;
  status = lw_diff(changed, &diff, &issues);
  if (status == LW_OK) printf("the change:\n%s", diff);
  lw_free(diff);
  lw_free(issues);
  if (status != LW_OK) {
    lw_free(changed);
    return say_failure("diffing the change", status);
  }
  char *response = NULL;
  status = lw_apply(changed, &response);
  lw_free(changed);
  if (response != NULL) printf("the helper's response:\n%s\n", response);
  lw_free(response);
  fflush(stdout);
  if (status != LW_OK) return say_failure("applying the change", status);
  return LW_OK;
}

int main(int argc, char **argv) {
  if (argc != 2 && argc != 3) {
    fprintf(stderr, "usage: lantern_wharf_example SETS.json [SET]\n");
    return LW_BAD_INPUT;
  }
  char *sets_file = read_whole(argv[1]);
  if (sets_file == NULL) return LW_BAD_INPUT;

  char *current = NULL;
  int status = lw_read_sets(&current);
  if (status != LW_OK) {
    free(sets_file);
    return say_failure("reading the sets", status);
  }
  printf("the sets in /etc/hosts:\n%s", current);
  lw_free(current);

  char *content = NULL;
  size_t length = 0;
  char *issues = NULL;
  status = lw_preview(sets_file, &content, &length, &issues);
  if (status == LW_OK) {
    printf("/etc/hosts after the apply:\n");
    fwrite(content, 1, length, stdout);
  } else if (status == LW_ISSUES) {
    printf("the helper would refuse the sets:\n%s\n", issues);
  }
  lw_free(content);
  lw_free(issues);
  if (status != LW_OK && status != LW_ISSUES) {
    free(sets_file);
    return say_failure("previewing the apply", status);
  }

  /* Entries a line of /etc/hosts outside the block answers otherwise: notes
   * to show beside them, not refusals. */
  char *notes = NULL;
  if (lw_shadowed(sets_file, &notes) == LW_OK && strcmp(notes, "{\"notes\":[]}") != 0) {
    printf("notes on the sets:\n%s\n", notes);
  }
  lw_free(notes);

  /* The helper checks the sets again and answers with its issues, if any. */
  char *response = NULL;
  status = lw_apply(sets_file, &response);
  free(sets_file);
  if (response != NULL) printf("the helper's response:\n%s\n", response);
  lw_free(response);
  fflush(stdout);
  if (status != LW_OK) return say_failure("applying the sets", status);
  if (argc == 3) return switch_off(argv[2]);
  return LW_OK;
}
