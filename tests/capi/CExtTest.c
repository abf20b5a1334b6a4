/* Compiled as C: the extension interface from a C program. The same calls run twice, each in a
 * child process whose standard output and error go to files: once printing as the library does by
 * default, once with a log callback. The callback must receive exactly the lines printed the
 * first time, with their levels, and nothing may reach file descriptors 1 and 2 while it is set. */
#include "barcode_lumeo_ext.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#define CHECK(cond)                                                                                                   \
    do {                                                                                                              \
        if (!(cond)) {                                                                                                \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);                                 \
            return 1;                                                                                                 \
        }                                                                                                             \
    } while (0)

/* Calls that print lines of every level on both streams. */
static void Scenario(void)
{
    void* code39 = barcode_create(0);
    void* qr = barcode_create(16);
    void* pdf = barcode_create(18);
    void* databar = barcode_create(12);
    char big[3001];
    int size = 0;
    memset(big, 'A', sizeof big - 1);
    big[sizeof big - 1] = '\0';
    barcode_draw_1d(code39, "abc~", 300, 100);     /* error, standard error */
    barcode_set_version(qr, 41);                   /* warning, standard output */
    barcode_draw_2d(qr, "HELLO", 120);             /* progress and the module dump, standard output */
    barcode_get_image_data(qr, &size);             /* PNG progress lines */
    barcode_draw_2d(pdf, big, 300);                /* error on standard output, then standard error */
    barcode_draw_1d(databar, "0123456789012", 300, 100); /* a debug line on standard error */
    barcode_draw_1d(NULL, "X", 300, 100);          /* the C layer's own reason */
    barcode_destroy(code39);
    barcode_destroy(qr);
    barcode_destroy(pdf);
    barcode_destroy(databar);
}

static FILE* g_lines; /* where the callback writes "level<TAB>line" */

/* A dump (a module matrix) comes as one call holding several lines: each is written apart. */
static void Collect(int level, const char* line, void* user)
{
    (void)user;
    for (;;) {
        const char* end = strchr(line, '\n');
        const int length = end != NULL ? (int)(end - line) : (int)strlen(line);
        fprintf(g_lines, "%d\t%.*s\n", level, length, line);
        if (end == NULL) {
            break;
        }
        line = end + 1;
    }
}

static char* ReadAll(const char* path)
{
    FILE* f = fopen(path, "rb");
    long n;
    char* text;
    if (f == NULL) {
        return NULL;
    }
    fseek(f, 0, SEEK_END);
    n = ftell(f);
    fseek(f, 0, SEEK_SET);
    text = calloc((size_t)n + 1, 1);
    if (text != NULL && fread(text, 1, (size_t)n, f) != (size_t)n) {
        free(text);
        text = NULL;
    }
    fclose(f);
    return text;
}

/* Runs `body` in a child whose fds 1 and 2 go to out and err; the child's exit status. */
static int InChild(void (*body)(void), const char* out, const char* err)
{
    pid_t pid;
    int status = 0;
    fflush(stdout);
    fflush(stderr);
    pid = fork();
    if (pid == 0) {
        if (freopen(out, "wb", stdout) == NULL || freopen(err, "wb", stderr) == NULL) {
            _exit(3);
        }
        body();
        fflush(NULL);
        _exit(0);
    }
    if (pid < 0 || waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

static char g_linesPath[256];

static void Printing(void)
{
    Scenario();
}

static void Routed(void)
{
    g_lines = fopen(g_linesPath, "wb");
    if (g_lines == NULL) {
        _exit(4);
    }
    lumeo_set_log(Collect, NULL);
    Scenario();
    lumeo_set_log(NULL, NULL);
    fclose(g_lines);
}

static int CompareStrings(const void* a, const void* b)
{
    return strcmp(*(char* const*)a, *(char* const*)b);
}

/* Splits text into its lines (in place); returns the count. */
static size_t Lines(char* text, char** lines, size_t max)
{
    size_t n = 0;
    char* p = text;
    while (p != NULL && *p != '\0' && n < max) {
        char* end = strchr(p, '\n');
        lines[n++] = p;
        if (end == NULL) {
            break;
        }
        *end = '\0';
        p = end + 1;
    }
    return n;
}

/* The level the callback gave the first line equal to `line`; -1 when it never came. */
static int LevelOf(char** routed, size_t count, const char* line)
{
    size_t i;
    for (i = 0; i < count; ++i) {
        const char* tab = strchr(routed[i], '\t');
        if (tab != NULL && strcmp(tab + 1, line) == 0) {
            return atoi(routed[i]);
        }
    }
    return -1;
}

#define MAX_LINES 4096

static char* g_printed[MAX_LINES];
static char* g_routed[MAX_LINES];
static char* g_routedText[MAX_LINES];

static int CheckRouting(const char* dir)
{
    char out[256], err[256], out2[256], err2[256];
    char *printedOut, *printedErr, *routedOut, *routedErr, *routed;
    size_t nOut, nErr, nPrinted, nRouted, i;
    snprintf(out, sizeof out, "%s/printing.out", dir);
    snprintf(err, sizeof err, "%s/printing.err", dir);
    snprintf(out2, sizeof out2, "%s/routed.out", dir);
    snprintf(err2, sizeof err2, "%s/routed.err", dir);
    snprintf(g_linesPath, sizeof g_linesPath, "%s/routed.lines", dir);

    CHECK(InChild(Printing, out, err) == 0);
    CHECK(InChild(Routed, out2, err2) == 0);
    printedOut = ReadAll(out);
    printedErr = ReadAll(err);
    routedOut = ReadAll(out2);
    routedErr = ReadAll(err2);
    routed = ReadAll(g_linesPath);
    CHECK(printedOut != NULL && printedErr != NULL && routedOut != NULL && routedErr != NULL && routed != NULL);

    /* Nothing reached the standard streams while the callback was set. */
    CHECK(strcmp(routedOut, "") == 0);
    CHECK(strcmp(routedErr, "") == 0);

    /* The callback had every line printed by default, no more and no fewer. */
    nOut = Lines(printedOut, g_printed, MAX_LINES);
    nErr = Lines(printedErr, g_printed + nOut, MAX_LINES - nOut);
    nPrinted = nOut + nErr;
    nRouted = Lines(routed, g_routed, MAX_LINES);
    CHECK(nPrinted > 20 && nPrinted < MAX_LINES);
    CHECK(nRouted == nPrinted);
    for (i = 0; i < nRouted; ++i) {
        char* tab = strchr(g_routed[i], '\t');
        CHECK(tab != NULL);
        g_routedText[i] = tab + 1;
    }
    qsort(g_printed, nPrinted, sizeof g_printed[0], CompareStrings);
    qsort(g_routedText, nRouted, sizeof g_routedText[0], CompareStrings);
    for (i = 0; i < nPrinted; ++i) {
        if (strcmp(g_printed[i], g_routedText[i]) != 0) {
            fprintf(stderr, "printed \"%s\", routed \"%s\"\n", g_printed[i], g_routedText[i]);
            return 1;
        }
    }

    /* Levels: errors, warnings, progress, dumps. */
    CHECK(LevelOf(g_routed, nRouted, "[Code39] Invalid character in CODE39: ~") == LUMEO_LOG_ERROR);
    CHECK(LevelOf(g_routed, nRouted, "The text is too big.") == LUMEO_LOG_ERROR);
    CHECK(LevelOf(g_routed, nRouted, "[barcode_draw_1d] Invalid handle") == LUMEO_LOG_ERROR);
    CHECK(LevelOf(g_routed, nRouted, "Warning: Invalid QR Code version (41). Setting to auto.") == LUMEO_LOG_WARNING);
    CHECK(LevelOf(g_routed, nRouted, "--- QR::Draw 開始 ---") == LUMEO_LOG_INFO);
    CHECK(LevelOf(g_routed, nRouted, "【Debug: 出力終了】") == LUMEO_LOG_DEBUG);
    free(printedOut);
    free(printedErr);
    free(routedOut);
    free(routedErr);
    free(routed);
    return 0;
}

/* After lumeo_set_log(NULL, NULL) the library prints again. */
static void Restored(void)
{
    void* h = barcode_create(0);
    lumeo_set_log(Collect, NULL);
    lumeo_set_log(NULL, NULL);
    barcode_draw_1d(h, "abc~", 300, 100);
    barcode_destroy(h);
}

static int CheckRestore(const char* dir)
{
    char out[256], err[256];
    char* printed;
    snprintf(out, sizeof out, "%s/restored.out", dir);
    snprintf(err, sizeof err, "%s/restored.err", dir);
    CHECK(InChild(Restored, out, err) == 0);
    printed = ReadAll(err);
    CHECK(printed != NULL && strcmp(printed, "[Code39] Invalid character in CODE39: ~\n") == 0);
    free(printed);
    return 0;
}

/* Reasons and codes seen from C; the full table is in the unit tests. */
static int CheckReasons(void)
{
    void* h = barcode_create(8);
    CHECK(h != NULL);
    CHECK(strcmp(lumeo_last_error(), "") == 0 && strcmp(lumeo_last_error_code(), "") == 0);
    lumeo_set_log(Collect, NULL); /* keep this process's streams clean */
    g_lines = fopen("/dev/null", "wb");
    CHECK(!barcode_draw_1d(h, "12", 300, 100));
    CHECK(strcmp(lumeo_last_error(), "[Jan13] Jan13 barcode requires 12 or 13 digits") == 0);
    CHECK(strcmp(lumeo_last_error_code(), "bad_text") == 0);
    CHECK(barcode_draw_1d(h, "4901234567894", 300, 100));
    CHECK(strcmp(lumeo_last_error(), "") == 0 && strcmp(lumeo_last_error_code(), "") == 0);
    CHECK(!barcode_draw_2d(h, "4901234567894", 300));
    CHECK(strcmp(lumeo_last_error_code(), "bad_handle") == 0);
    CHECK(!barcode_draw_1d(h, "4901234567894", 0, 100));
    CHECK(strcmp(lumeo_last_error_code(), "canvas_limit") == 0);
    barcode_set_output_format(h, "gif");
    CHECK(!barcode_draw_1d(h, "4901234567894", 300, 100));
    CHECK(strcmp(lumeo_last_error(), "[barcode_draw_1d] Unknown output format \"gif\"") == 0);
    CHECK(strcmp(lumeo_last_error_code(), "bad_option") == 0);
    barcode_destroy(h);
    CHECK(strcmp(lumeo_last_error(), "") == 0);
    lumeo_set_log(NULL, NULL);
    fclose(g_lines);
    CHECK(strncmp(lumeo_describe(), "{", 1) == 0);
    CHECK(strcmp(lumeo_version(), "") != 0);
    return 0;
}

int main(void)
{
    char dir[] = "/tmp/barcode_c_ext_XXXXXX";
    int failed;
    if (mkdtemp(dir) == NULL) {
        perror("mkdtemp");
        return 1;
    }
    /* The children print progress and dump lines too. */
    setenv("BARCODE_LUMEO_QUIET", "0", 1);
    failed = CheckRouting(dir) || CheckRestore(dir) || CheckReasons();
    if (!failed) {
        char command[300];
        snprintf(command, sizeof command, "rm -rf '%s'", dir);
        if (system(command) != 0) {
            fprintf(stderr, "could not remove %s\n", dir);
        }
        printf("C extension interface test passed\n");
    }
    return failed;
}
