/* The export header compiles as C and its conventions hold from C: caller-owned
 * text buffers, result codes, no grown arrays. */
#include <stdio.h>
#include <string.h>

#include "ORX_FP_Flash.h"

static int failures = 0;

#define CHECK(condition)                                               \
    do {                                                               \
        if (!(condition)) {                                            \
            fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition); \
            ++failures;                                                \
        }                                                              \
    } while (0)

int main(int argc, char** argv) {
    static int host;
    char buffers[13][32];
    char* entries[13];
    OrxTextArray info;
    uint16_t firstVersion = 0;
    int i;

    if (argc < 2) {
        fprintf(stderr, "usage: c_export_test SUPERFILE\n");
        return 2;
    }
    for (i = 0; i < 13; ++i) {
        strcpy(buffers[i], "untouched");
        entries[i] = buffers[i];
    }
    info.entries = entries;
    info.count = 13;
    info.entrySize = sizeof buffers[0];

    CHECK(UTCInit(&host) == ORX_RESULT_OK);
    CHECK(UTCOpen(0, NULL, 0, 0, 0, 0, NULL) == ORX_RESULT_OK);
    CHECK(GetSuperfileInformation(NULL, &info, &firstVersion) == ORX_RESULT_BAD_ARGUMENTS);
    CHECK(GetSuperfileInformation(argv[1], &info, &firstVersion) == ORX_RESULT_OK);
    CHECK(strcmp(buffers[0], "GSM k.380") == 0);
    CHECK(strcmp(buffers[12], "Regular File") == 0);
    CHECK(firstVersion == 0x0210);
    CHECK(GetSuperfileInformation("no-such-file.shx", &info, &firstVersion) ==
          ORX_RESULT_JOB_FAILED);
    /* The failure's cause: its code, its text cut to the buffer, or the code alone. */
    CHECK(GetFailureReason(-1, buffers[1], sizeof buffers[1]) == ORX_RESULT_JOB_FAILED);
    CHECK(strcmp(buffers[1], "Unable to open file.no-such-fil") == 0);
    CHECK(GetFailureReason(-1, NULL, 0) == ORX_RESULT_JOB_FAILED);
    CHECK(GetFailureReason(-1, NULL, 8) == ORX_RESULT_BAD_ARGUMENTS);
    CHECK(GetFailureReason(4, buffers[1], sizeof buffers[1]) == ORX_RESULT_OK);
    CHECK(buffers[1][0] == '\0');
    /* The extensions: no job to stop; a platform needs a buffer and a phone. */
    CHECK(StopJobs() == ORX_RESULT_OK);
    CHECK(GetDevicePlatform(4, NULL, 0) == ORX_RESULT_BAD_ARGUMENTS);
    CHECK(GetDevicePlatform(4, buffers[0], sizeof buffers[0]) == ORX_RESULT_JOB_FAILED);
    return failures == 0 ? 0 : 1;
}
