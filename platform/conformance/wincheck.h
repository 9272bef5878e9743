/*
 * wincheck.h - what the Windows test programs share (this conformance
 * program, the library's and the utility's Windows tests): checks that
 * print one line each ("ok   ..." or "FAIL ...") and are counted, the
 * closing line with the counts, and the check of a built file's version
 * resource. Included once per program (the counts are the program's own).
 * The checks and counts also build elsewhere (the conformance program
 * builds against the platform layer too); the version resource is Windows
 * only.
 */
#ifndef KESTRO_WINCHECK_H
#define KESTRO_WINCHECK_H

#ifdef _WIN32
#include <windows.h>
#endif

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

static int check_passed, check_failed;

/* Prints the check's line and counts it; returns ok. */
static inline int check(int ok, const char* format, ...) {
    va_list args;
    va_start(args, format);
    printf("%s ", ok ? "ok  " : "FAIL");
    vprintf(format, args);
    printf("\n");
    va_end(args);
    fflush(stdout);
    if (ok) {
        ++check_passed;
    } else {
        ++check_failed;
    }
    return ok;
}

/* Prints "NAME: P passed, F failed"; the exit code: 0 only when at least one
 * check ran and none failed. */
static inline int check_summary(const char* name) {
    printf("%s: %d passed, %d failed\n", name, check_passed, check_failed);
    fflush(stdout);
    return check_failed == 0 && check_passed > 0 ? 0 : 1;
}

#ifdef _WIN32
/* One string of the version resource's US English, Unicode table, or "". */
static inline const char* version_string(void* info, const char* key) {
    char path[128];
    char* value = NULL;
    UINT len = 0;
    snprintf(path, sizeof path, "\\StringFileInfo\\040904B0\\%s", key);
    if (!VerQueryValueA(info, path, (void**)&value, &len) || value == NULL || len == 0) {
        return "";
    }
    return value;
}

/* Checks the version resource of the file at `path`, as Windows reads it:
 * the numbers and the strings all say `version` ("1.2.3"), the product is
 * "Kestro", the original file name is `file_name` and there is a
 * description. */
static inline void check_version_resource(const char* path, const char* file_name,
                                          const char* version) {
    static char info[8192];
    DWORD handle = 0, size = GetFileVersionInfoSizeA(path, &handle);
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT fixed_len = 0;
    unsigned major = 0, minor = 0, patch = 0;
    char numbers[64] = "none";
    if (!check(size > 0 && size <= sizeof info && GetFileVersionInfoA(path, 0, size, info),
               "%s has a version resource (%lu bytes)", file_name, (unsigned long)size)) {
        return;
    }
    sscanf(version, "%u.%u.%u", &major, &minor, &patch);
    if (VerQueryValueA(info, "\\", (void**)&fixed, &fixed_len) && fixed != NULL &&
        fixed_len >= sizeof *fixed && fixed->dwSignature == 0xFEEF04BD) {
        snprintf(numbers, sizeof numbers, "%lu.%lu.%lu.%lu / %lu.%lu.%lu.%lu",
                 (unsigned long)HIWORD(fixed->dwFileVersionMS),
                 (unsigned long)LOWORD(fixed->dwFileVersionMS),
                 (unsigned long)HIWORD(fixed->dwFileVersionLS),
                 (unsigned long)LOWORD(fixed->dwFileVersionLS),
                 (unsigned long)HIWORD(fixed->dwProductVersionMS),
                 (unsigned long)LOWORD(fixed->dwProductVersionMS),
                 (unsigned long)HIWORD(fixed->dwProductVersionLS),
                 (unsigned long)LOWORD(fixed->dwProductVersionLS));
    }
    {
        char want[64];
        snprintf(want, sizeof want, "%u.%u.%u.0 / %u.%u.%u.0", major, minor, patch, major, minor,
                 patch);
        check(strcmp(numbers, want) == 0, "%s file and product version numbers %s (expected %s)",
              file_name, numbers, want);
    }
    check(strcmp(version_string(info, "FileVersion"), version) == 0 &&
              strcmp(version_string(info, "ProductVersion"), version) == 0,
          "%s FileVersion \"%s\", ProductVersion \"%s\" (expected \"%s\")", file_name,
          version_string(info, "FileVersion"), version_string(info, "ProductVersion"), version);
    check(strcmp(version_string(info, "ProductName"), "Kestro") == 0 &&
              strcmp(version_string(info, "OriginalFilename"), file_name) == 0 &&
              version_string(info, "FileDescription")[0] != '\0',
          "%s ProductName \"%s\", OriginalFilename \"%s\", FileDescription \"%s\"", file_name,
          version_string(info, "ProductName"), version_string(info, "OriginalFilename"),
          version_string(info, "FileDescription"));
}
#endif /* _WIN32 */

#endif /* KESTRO_WINCHECK_H */
