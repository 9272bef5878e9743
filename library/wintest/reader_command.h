/*
 * The fake reader's command folder, as the Windows and Linux test programs
 * of this folder drive it (scripts/wine-hid.sh): a command is written under
 * another name and renamed in, so that the reader never reads half of it,
 * and one answer line comes back. `reader_dir` is the folder (C:\\reader by
 * default; a program may point it elsewhere from its arguments).
 */
#ifndef KESTRO_WINTEST_READER_COMMAND_H
#define KESTRO_WINTEST_READER_COMMAND_H

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#include <stdio.h>
#include <string.h>

static const char* reader_dir = "C:\\reader";

static void sleep_ms(int ms) {
#ifdef _WIN32
    Sleep((DWORD)ms);
#else
    struct timespec t;
    t.tv_sec = ms / 1000;
    t.tv_nsec = (long)(ms % 1000) * 1000000L;
    nanosleep(&t, NULL);
#endif
}

static void reader_path(char* path, size_t size, const char* name) {
#ifdef _WIN32
    snprintf(path, size, "%s\\%s", reader_dir, name);
#else
    snprintf(path, size, "%s/%s", reader_dir, name);
#endif
}

/* Sends one command to the reader and waits up to 30 s for its answer line
 * (into `answer`, without the line end); returns 0 when none came. */
static int reader_command(const char* command, char* answer, size_t size) {
    char part[512], whole[512], reply[512];
    FILE* f;
    int i;
    reader_path(part, sizeof part, "command.new");
    reader_path(whole, sizeof whole, "command");
    reader_path(reply, sizeof reply, "answer");
    answer[0] = '\0';
    f = fopen(part, "w");
    if (f == NULL) {
        return 0;
    }
    fprintf(f, "%s\n", command);
    fclose(f);
    if (rename(part, whole) != 0) {
        return 0;
    }
    for (i = 0; i < 3000; ++i) {
        f = fopen(reply, "r");
        if (f != NULL) {
            int got = fgets(answer, (int)size, f) != NULL;
            fclose(f);
            remove(reply);
            answer[strcspn(answer, "\r\n")] = '\0';
            return got;
        }
        sleep_ms(10);
    }
    return 0;
}

#endif
