/* ORX_FP_Flash: the flashing module's C export surface.
 *
 * Conventions
 * - Every export returns an int: 0 success, 3 bad arguments, 15 failure or not
 *   initialised, 16 busy, 52 the requested flash or information failed.
 * - Texts in are NUL-terminated `const char*`; the module copies what it keeps.
 * - Texts out go into caller-owned buffers (OrxTextArray): the caller sets how
 *   many entries there are and how large each is; the module writes only
 *   entries that exist, always NUL-terminated and cut to the entry's size, and
 *   never grows or shrinks the array. Entries the module does not write keep
 *   their contents.
 * - Window and thread handles are opaque pointers (the parent window is a
 *   QWidget* when the module runs with its dialog).
 * - A host calls UTCInit first, then UTCOpen; mode 1 opens the dialog, any
 *   other mode runs without one, as the automation and information exports
 *   expect. No export ends the process or lets an exception escape: an
 *   unexpected failure inside one (memory running out, say), on the caller's
 *   thread or on a job's worker, is reported on the export's route, logged,
 *   and answered with 52 by the exports that answer for a phone or a file
 *   (FlashDevice, VerifyDevice, GetSuperfileInformation, GetDeviceInformation,
 *   GetDevicePlatform, ConvertSuperfile), with 15 by the others.
 */
#ifndef ORX_FP_FLASH_H
#define ORX_FP_FLASH_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define ORX_FP_FLASH_API __attribute__((visibility("default")))
#else
#define ORX_FP_FLASH_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A caller-owned array of text buffers. */
typedef struct OrxTextArray {
    char** entries;   /* count buffers of entrySize bytes each */
    int count;        /* number of entries */
    size_t entrySize; /* bytes in each buffer, terminating zero included */
} OrxTextArray;

/* Result codes. */
enum {
    ORX_RESULT_OK = 0,
    ORX_RESULT_BAD_ARGUMENTS = 3,
    ORX_RESULT_FAILED = 15,
    ORX_RESULT_BUSY = 16,
    ORX_RESULT_JOB_FAILED = 52
};

/* Switches the error log on and keeps the host services library's instance
 * handle (reported, yet kept, when null). Returns 0. */
ORX_FP_FLASH_API int UTCInit(void* hostInstance);

/* Opens the module. Only the low byte of mode counts: 1 opens the dialog as a
 * child of parent at the rectangle, writing its worker's handle to
 * threadHandle; anything else runs without a dialog and writes nothing.
 * Returns 0, or 15 without a host instance. */
ORX_FP_FLASH_API int UTCOpen(int mode, void* parent, int left, int top, int right, int bottom,
                             void** threadHandle);

/* Moves the dialog to a new rectangle; without the dialog it does nothing.
 * Returns 0. */
ORX_FP_FLASH_API int UTCResize(int left, int top, int right, int bottom);

/* Closes the module: stops the dialog's engine (16 while a dialog flash runs,
 * changing nothing; without the dialog, 16 while any automation job runs) and
 * deletes the image files of the superfile last named by the dialog, Flash or
 * FlashDevice. Returns 0 or 16. */
ORX_FP_FLASH_API int UTCClose(void);

/* Writes the module's file version into version (versionSize bytes, always
 * NUL-terminated). The version is read from the file ORX_FP_Flash.so in the
 * current directory, as the host finds the module. Returns 0, 3 for a null
 * buffer, or 15 (version left unchanged) with a report. */
ORX_FP_FLASH_API int UTCGetVersion(char* version, size_t versionSize);

/* Shows the count texts, each followed by a line end, in one message box with
 * an OK button. Returns 0. */
ORX_FP_FLASH_API int UTCSpecific(unsigned count, const char* const* lines);

/* FlashDevice's argument record. */
typedef struct OrxFlashDeviceArgs {
    const char* superfilePath;
    uint16_t deviceId;
} OrxFlashDeviceArgs;

/* Flashes one phone from a superfile and returns when it is done; reports go
 * to the host's per-device display functions. Device numbers 0 to 159 and
 * 1000 to 1031 are accepted (1000 to 1031 share job slots 128 to 159 with the
 * numbers 128 to 159). Several callers may flash different phones at once.
 * argCount must be 2. Returns 0; 3 for bad arguments; 15 before UTCInit with
 * an instance, when the module was not opened without a dialog (no UTCOpen
 * yet, or a failed one), when the phone's slot is busy, or when the job's
 * worker could not be started; 16 while the module's dialog is open (the
 * dialog owns the phones then); 52 when the flash failed or was stopped. */
ORX_FP_FLASH_API int FlashDevice(int argCount, const OrxFlashDeviceArgs* args);

/* Flashes every phone the host lists, in parallel, one job each, printing
 * every job's reports on standard output. argList holds one text, the
 * superfile's path. Returns 0 once every job has ended, whatever each phone's
 * outcome; 3 for bad arguments; 15 before UTCInit with an instance, when the
 * module was not opened without a dialog, when the host's device list stays
 * unavailable (eight attempts a second apart), or when a job could not be
 * started; 16 while the module's dialog is open. */
ORX_FP_FLASH_API int Flash(int argCount, const char* const* argList);

/* Fills infoArray (at least 12 entries; 13 to receive the file kind) with a
 * superfile's information: platform, application, boot and RAM versions, the
 * application, boot and RAM checksums, file date, file size, the versions of
 * code groups 0, 1 and 4, and "Combo File" or "Regular File". firstVersion
 * receives code group 0's version, or 0xFFFF. Returns 0, 3 for null
 * arguments, or 52 when the superfile cannot be read. */
ORX_FP_FLASH_API int GetSuperfileInformation(const char* superfilePath, OrxTextArray* infoArray,
                                             uint16_t* firstVersion);

/* Fills entries 0 to 2 of infoArray (at least 3 entries; further entries are
 * left as they are) with the versions of the connected phone's code groups
 * 0, 1 and 6 as "v0x%.4X", and firstVersion with code group 0's. Only the low
 * 16 bits of deviceId count. Returns 0, 3 for null arguments, 15 before
 * UTCInit with an instance, or 52 when the phone could not be read (fewer
 * than 3 entries included). */
ORX_FP_FLASH_API int GetDeviceInformation(int deviceId, OrxTextArray* infoArray,
                                          uint16_t* firstVersion);

/* Beyond the host protocol. Writes into platform (platformSize bytes, always
 * NUL-terminated) the platform name that identification gives the connected
 * phone: a blank phone's string descriptor names it ("Blank CDMA Dorsk",
 * "Blank Tavenor", ...); a phone in flash mode, serial ones included, has it
 * from its bootloader descriptor; otherwise "Unknown Platform". Only the low
 * 16 bits of deviceId count. Shows nothing. Returns 0, 3 for a null or empty
 * buffer, 15 before UTCInit with an instance, or 52 when the phone could not
 * be identified (platform left unchanged). */
ORX_FP_FLASH_API int GetDevicePlatform(int deviceId, char* platform, size_t platformSize);

/* Beyond the host protocol. Converts a superfile into its image files and
 * image index without flashing, as a flash job would before it starts; an
 * unchanged superfile whose images are intact is not converted again. Reports
 * go to standard output (or the host's per-device display after FlashDevice),
 * with the conversion's progress in percent. upToDate (may be NULL) receives 1
 * when the images were already up to date, else 0. images (may be NULL)
 * receives the image file paths in slot order, one per entry, as many as fit;
 * the entries after the last path are set to empty texts. Returns 0, 3 for
 * bad arguments, or 52 when the superfile cannot be read or converted. */
ORX_FP_FLASH_API int ConvertSuperfile(const char* superfilePath, int* upToDate,
                                      OrxTextArray* images);

/* Beyond the host protocol. Verifies one connected phone against a superfile
 * without a dialog, as the dialog's Verify does: versions and checksums are
 * compared and the verdict "Verify Successful" or "Verify FAILED!!!" is
 * reported (standard output, or the host's per-device display after
 * FlashDevice). Nothing is written to the phone. Returns 0 when the phone
 * matches, 3 for bad arguments, 15 before UTCInit with an instance or when the
 * module was not opened without a dialog, 16 while the module's dialog is
 * open, 52 otherwise. */
ORX_FP_FLASH_API int VerifyDevice(const char* superfilePath, int deviceId);

/* Beyond the host protocol. Asks every running automation job (FlashDevice,
 * Flash, VerifyDevice) to stop and returns at once, without waiting: each job
 * ends between two packets, starts no erase and writes no barker after the
 * request, and counts as failed (FlashDevice and VerifyDevice return 52).
 * A job that starts after the call is not affected. Meant for a host's
 * Ctrl-C: call it from an ordinary thread, never from a signal handler.
 * Returns 0. */
ORX_FP_FLASH_API int StopJobs(void);

/* Beyond the host protocol. The cause of a failure: writes its text, the
 * module's own report of the first failure met (for example "Unable to open
 * file.fw.shx" or "ERROR: The file you have selected is an invalid
 * superfile."), into reason (reasonSize bytes, always NUL-terminated, cut to
 * fit; reason may be NULL when reasonSize is 0) and returns its code: the
 * failed export's result. deviceId -1 asks for the calling thread's last
 * failed export (GetSuperfileInformation, ConvertSuperfile, ...; after a
 * failed FlashDevice or VerifyDevice, its phone's reason; exports that
 * succeed leave it as it was); a device number asks for the outcome of that
 * device's last job (FlashDevice, VerifyDevice, or a job of Flash): 52 when
 * it failed, 0 when it passed or the device has had no job, the text then
 * empty. Shows nothing. Returns 3 for a deviceId below -1 or above 65535 or a
 * buffer that does not match its size. */
ORX_FP_FLASH_API int GetFailureReason(int deviceId, char* reason, int reasonSize);

#ifdef __cplusplus
}
#endif

#endif /* ORX_FP_FLASH_H */
