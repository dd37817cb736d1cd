/* kompak32.h - the public interface of the kompak32 LZH archive library.
 *
 * kompak32 reads and writes LZH archives whose members are stored with method "-lh5-"
 * (LZ77 over an 8,192-byte sliding dictionary with static Huffman codes per block) or
 * "-lh0-" (stored unchanged). An archive is a sequence of members (a level-1 header
 * followed by the member data) ended by one byte of value 0; an empty archive is that
 * single byte.
 *
 * Calling order: LZH_Open or LZH_Create, then any number of LZH_Enum, LZH_Extract and
 * LZH_Add calls on that handle, then LZH_Close. LZH_SetProgressFun and LZH_GetArchiveStats
 * need no handle. The library keeps some state for the whole process (the progress hook,
 * the message buffer, the coding work areas), so it serves one thread at a time.
 *
 * Results are 1 (or a non-null handle) for success and 0 (or null) for failure. Failures
 * inside the coders are reported to the user once, in a message box on Windows and as one
 * line on standard error elsewhere; all other failures are only returned.
 *
 * Every export and both callbacks use the LZH_CALL calling convention; the Win32 DLL
 * exports the functions under exactly these undecorated names.
 */
#ifndef KOMPAK32_H
#define KOMPAK32_H

#include <stdint.h>

#ifdef _WIN32
#define LZH_CALL __stdcall
#else
#define LZH_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* An open archive. Created by LZH_Open or LZH_Create, freed by LZH_Close. */
typedef struct ArchiveHandle ArchiveHandle;

/* What LZH_Enum does with a member after its callback returned 1. */
typedef enum MemberAction {
    ACTION_KEEP = 0,    /* leave the member as it is */
    ACTION_DELETE = 1,  /* remove the member from the archive */
    ACTION_EXTRACT = 2  /* extract the member to the path the callback wrote into name */
} MemberAction;

/* Longest member name a MemberInfo holds; longer names are cut to this many characters. */
#define LZH_MEMBER_NAME_MAX 132

typedef struct MemberInfo MemberInfo;

/* The signature of LZH_Extract, as handed to callbacks in MemberInfo.extract. */
typedef int(LZH_CALL *ExtractFun)(ArchiveHandle *handle, char *outPath);

/* Filled by the library for every member before the EnumCallback runs; valid only
 * during the callback. LZH_GetArchiveStats fills name, the time fields and
 * originalSize only. */
struct MemberInfo {
    ArchiveHandle *handle;                 /* the archive being enumerated */
    int8_t action;                         /* a MemberAction; ACTION_KEEP before each call */
    char name[LZH_MEMBER_NAME_MAX + 1];    /* member name; output path for ACTION_EXTRACT */
    uint16_t month, day, year;             /* the member's local time stamp */
    uint16_t hour, minute, second;         /* second is always even */
    uint32_t originalSize;                 /* size of the original file */
    ExtractFun extract;                    /* always LZH_Extract */
};

/* Called once per member, in file order. While it runs the archive stands at the
 * member's header, so it may call info->extract(info->handle, path) itself.
 * Return 1 to have info->action carried out and the walk continue, 0 to stop at once.
 * Any other value is treated like 1. */
typedef int(LZH_CALL *EnumCallback)(MemberInfo *info, int32_t user);

/* Progress of an extraction or addition in percent (done * 100 / total, formed in
 * unsigned 32-bit arithmetic); an empty member reports 100. The result is ignored. */
typedef int(LZH_CALL *ProgressFun)(uint32_t percent, int32_t user);

/* Opens an existing archive for update, or read-only when the file cannot be written.
 * The contents are not checked here.
 * Returns a new handle, or null when the file cannot be opened or memory is short. */
ArchiveHandle *LZH_CALL LZH_Open(char *path);

/* Creates the archive (an existing file is truncated) holding only the end mark.
 * Returns a new handle, or null when the file cannot be created or memory is short. */
ArchiveHandle *LZH_CALL LZH_Create(char *path);

/* Closes the archive file and frees the handle. Does nothing for an invalid handle. */
void LZH_CALL LZH_Close(ArchiveHandle *handle);

/* Walks the members from the start of the archive, calling callback for each one with
 * user, and carries out the action the callback chose. A header that cannot be read
 * (bad checksum, unknown method, end of file) ends the walk normally. Deleted members
 * are removed by moving the following members down and cutting the file.
 * Returns 1 when the walk reached the end (with deletions: 1 when the shortened archive
 * was written and cut); 0 for an invalid handle, a callback result of 0, a failed
 * ACTION_EXTRACT, or when the archive could not be rewritten (e.g. opened read-only).
 * Whatever the result, the archive stays well-formed and holds every member that was
 * not deleted. */
int LZH_CALL LZH_Enum(ArchiveHandle *handle, EnumCallback callback, int32_t user);

/* Extracts the member whose header starts at the archive's current position into
 * outPath (created or truncated; directories are not created), then sets the file's
 * times from the member's stamp. Afterwards the archive stands at the next header.
 * Returns 1 when the file was written (and, for "-lh5-", its CRC-16 matched); 0 for an
 * invalid handle, an output that cannot be opened or no member header (both silent),
 * a CRC mismatch (message "LZH Decompress Error", caption "CRC Error"), or a failure
 * while decoding or writing (caption "LZH Decompress Exception" with "Bad table",
 * "Unable to write.  Disk may be full.", "Out of memory." or "Unexpected end of
 * archive."). A failed extraction leaves the partial output file without time stamp. */
int LZH_CALL LZH_Extract(ArchiveHandle *handle, char *outPath);

/* Appends the file at path as a new member in front of the end mark. Its name is the part
 * of the path after the last '\' or '/' (else after the last ':'); the library upper-cases
 * the path in place. The data is compressed with "-lh5-", or stored as "-lh0-" when the
 * compressed form would not be smaller; the header records the bytes actually read.
 * Returns 1 when the member was appended; 0, silently, for an invalid handle, input that
 * cannot be opened, or a name that is empty or longer than LZH_MEMBER_NAME_MAX; 0 after a
 * message (caption "LZH Compress Exception") for a file of 4 GiB or more ("File too
 * large."), a read error ("Unable to read the file."), a failed write, e.g. a full disk or
 * a read-only archive ("Unable to write.  Disk may be full."), or "Out of memory.".
 * After a failure the archive holds exactly its earlier members, ended by its end mark. */
int LZH_CALL LZH_Add(ArchiveHandle *handle, char *path);

/* Fills name, the time fields and originalSize of info from the archive's first member
 * (handle, action and extract are left untouched).
 * Returns 1 on success, 0 when the file cannot be opened or has no readable first member. */
int LZH_CALL LZH_GetArchiveStats(char *path, MemberInfo *info);

/* Sets the progress hook and its user value for all later extractions and additions;
 * a null fn turns reporting off. Returns fn. */
ProgressFun LZH_CALL LZH_SetProgressFun(ProgressFun fn, int32_t user);

#ifdef __cplusplus
}
#endif

#endif /* KOMPAK32_H */
